// reedtab-cli devices: the MIDI output and input devices the program can use.

#include "cli/args.h"
#include "listen/audioinput.h"
#include "playback/outputdevice.h"

#include <cstdio>

namespace reedtab::cli {

namespace {

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto rest = args.positionals();
    if (args.hasError()) {
        return usageError("devices", args.error());
    }
    if (!rest.empty()) {
        return usageError("devices", "takes no arguments (try --help)");
    }
    const auto outputs = outputDeviceNames();
    std::printf("outputs:\n");
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        std::printf("%d %s\n", static_cast<int>(i) - 1, outputs[i].c_str());
    }
    const auto inputs = inputDeviceNames();
    std::printf("inputs:\n");
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::printf("%d %s\n", static_cast<int>(i), inputs[i].c_str());
    }
    std::printf("audio inputs:\n");
    for (const auto& name : captureDeviceNames()) {
        std::printf("%s\n", name.c_str());
    }
    std::printf("audio outputs:\n");
    for (const auto& name : playbackDeviceNames()) {
        std::printf("%s\n", name.c_str());
    }
    const auto soundFont = SynthOutput::defaultSoundFont();
    std::printf("soundfont: %s\n", soundFont.empty() ? "(none)" : soundFont.c_str());
    return 0;
}

const char* const help =
    "usage: reedtab-cli devices\n"
    "\n"
    "Lists the MIDI output devices, \"Midi Mapper\" (the built-in General MIDI synthesizer)\n"
    "first, then the MIDI ports of the system, each after the device index the settings use\n"
    "(-1 for the mapper); then the MIDI input devices with their indices; then the audio\n"
    "capture and playback devices that listening takes by name (\"System: device\": PulseAudio,\n"
    "ALSA, and JACK when a server runs); then the SoundFont the built-in synthesizer loads. A\n"
    "machine without a MIDI system lists only the mapper.\n";

const bool registered = registerCommand({"devices", "list the MIDI and audio devices", help, run});

} // namespace

} // namespace reedtab::cli

// reedtab-cli play: real-time playback on a MIDI output device, with the position shown as it
// plays; Ctrl+C stops cleanly.

#include "cli/args.h"
#include "cli/songfile.h"
#include "cli/traineroption.h"
#include "cli/transportsetup.h"
#include "playback/playermessagequeue.h"
#include "playback/streamplayer.h"
#include "transport/transport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

namespace reedtab::cli {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    interrupted.store(true);
}

// Prints the position on every beat (over itself on a terminal), "Pass N at P%" as each pass of
// a trainer begins, and notes the end of the song.
class PositionPrinter final : public TransportListener {
public:
    PositionPrinter(const Transport& transport, const MidiSong& song)
        : transport_(transport), song_(song), terminal_(isatty(STDOUT_FILENO) != 0) {}

    bool terminal() const { return terminal_; }
    bool ended() const { return ended_; }
    bool deviceLost() const { return deviceLost_; }

    void positionReached(const PositionReport&) override {
        if (transport_.training() && transport_.trainerPass() != shownPass_) {
            shownPass_ = transport_.trainerPass();
            std::printf("%sPass %d at %d%%\n", terminal_ ? "\r" : "", shownPass_ + 1,
                        transport_.tempoPercent());
        }
        const int tick = transport_.soundingTick();
        const int beat = tick / std::max<int>(song_.division, 1);
        if (beat == shownBeat_) {
            return;
        }
        shownBeat_ = beat;
        const auto text = formatBarBeatTick(song_.tickToBarBeatTick(std::min(tick, song_.length)));
        std::printf(terminal_ ? "\r%s" : "%s\n", text.c_str());
        std::fflush(stdout);
    }
    void tempoChanged(int) override {}
    void songEnded(int result) override {
        ended_ = true;
        deviceLost_ = result == PlayerDeviceError;
    }

private:
    const Transport& transport_;
    const MidiSong& song_;
    const bool terminal_;
    int shownBeat_ = -1;
    int shownPass_ = -1;
    bool ended_ = false;
    bool deviceLost_ = false;
};

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto device = args.option("--device");
    const auto tempo = args.intOption("--tempo");
    const auto from = args.intOption("--from");
    const auto loopStart = args.intOption("--loop-start");
    const auto loopEnd = args.intOption("--loop-end");
    const bool countIn = args.flag("--count-in");
    const bool metronome = args.flag("--metronome");
    SpeedTrainer trainer;
    std::string trainerMessage;
    const bool trainerRead = trainerOption(args, trainer, trainerMessage);
    const auto files = args.positionals();
    if (args.hasError()) {
        return usageError("play", args.error());
    }
    if (!trainerRead) {
        return usageError("play", trainerMessage);
    }
    if (trainer.active() && tempo) {
        return usageError("play", "--tempo and --trainer exclude each other");
    }
    if (trainer.active() && from) {
        return usageError("play", "--from and --trainer exclude each other");
    }
    if (files.size() != 1) {
        return usageError("play", "expects one FILE (try --help)");
    }
    if (loopStart.has_value() != loopEnd.has_value()) {
        return usageError("play", "--loop-start and --loop-end go together");
    }
    if (tempo && (*tempo < 1 || *tempo > 1000)) {
        return usageError("play", "--tempo needs a percentage from 1 to 1000");
    }
    MidiSong song;
    if (const int result = loadSongReporting("play", files[0], song); result != LoadOk) {
        return result;
    }

    int deviceIndex = -1;
    if (device) {
        const auto names = outputDeviceNames();
        const auto found = std::find(names.begin(), names.end(), *device);
        if (found == names.end()) {
            std::fprintf(stderr, "reedtab-cli play: no output device named \"%s\" (see devices)\n",
                         device->c_str());
            return 1;
        }
        deviceIndex = static_cast<int>(found - names.begin()) - 1;
    }
    PlaybackOptions options;
    options.metronome = metronome;
    options.countIn = countIn;
    options.loop = loopStart.has_value();

    SteadyClock clock;
    SystemOutputProvider outputs;
    StreamPlayer player(outputs, clock);
    Transport transport(player);
    setUpTransport(transport, song, options, loopStart ? static_cast<int>(*loopStart) : -1,
                   loopEnd ? static_cast<int>(*loopEnd) : -1);
    PositionPrinter printer(transport, song);
    transport.setListener(&printer);
    PlayerMessageQueue window;
    window.setHandler(
        [&transport](const PlayerMessage& message) { transport.handleMessage(message); });
    if (transport.init(song, window) != PlayerOk) {
        std::fprintf(stderr, "reedtab-cli play: no MIDI output device\n");
        return 1;
    }
    if (transport.openOutput(deviceIndex) != PlayerOk) {
        std::fprintf(stderr, "reedtab-cli play: Cannot open Midi output device\n");
        return 1;
    }
    if (tempo) {
        transport.setTempoPercent(static_cast<int>(*tempo));
    }

    interrupted.store(false);
    auto previous = std::signal(SIGINT, onInterrupt);
    const int started =
        startTransport(transport, trainer, from ? static_cast<int>(*from) : 0, countIn);
    if (started != PlayerOk) {
        std::signal(SIGINT, previous);
        std::fprintf(stderr, "reedtab-cli play: Cannot start playing! (code %d)\n", started);
        player.shutdown();
        return started;
    }
    while (!printer.ended() && !interrupted.load()) {
        window.dispatchAll();
        if (player.state() == PlayerState::Idle && window.waiting() == 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (transport.isPlaying()) {
        transport.stop(); // all notes off on every channel
    }
    window.dispatchAll();
    player.shutdown();
    std::signal(SIGINT, previous);
    if (printer.terminal()) {
        std::printf("\n");
    }
    if (printer.deviceLost()) {
        std::fprintf(stderr, "reedtab-cli play: %s\n", kDeviceLostText);
        return 1;
    }
    return interrupted.load() ? 130 : 0;
}

const char* const help =
    "usage: reedtab-cli play FILE [--device NAME] [--tempo PERCENT] [--from TICK]\n"
    "                         [--loop-start TICK --loop-end TICK] [--count-in] [--metronome]\n"
    "                         [--trainer START,STEP,TARGET[,PASSES]]\n"
    "\n"
    "Plays the song in real time on a MIDI output device (default \"Midi Mapper\", the\n"
    "built-in synthesizer; see the devices command for the names) and prints the position\n"
    "as bar:beat:tick on every beat. Ctrl+C stops cleanly with all notes off.\n"
    "  --tempo PERCENT   tempo percentage (100)      --from TICK  start there\n"
    "  --loop-start/--loop-end TICK  play the range over and over until Ctrl+C\n"
    "  --count-in        a bar of clicks plus one beat first\n"
    "  --metronome       a click on every beat\n"
    "  --trainer START,STEP,TARGET[,PASSES]  speed trainer, as the window's: loops the loop\n"
    "                    marks (the whole song to the end of its last bar without them) from\n"
    "                    the loop's start at START percent of the tempo and raises it by STEP\n"
    "                    after every PASSES passes (1) up to TARGET; prints \"Pass N at P%\"\n"
    "                    as each pass begins; not with --from\n"
    "Exit status: 0 at the end of the song, 130 after Ctrl+C, 1 when the device cannot be\n"
    "opened, the player's code when it refuses to start, 2 for a usage error.\n";

const bool registered =
    registerCommand({"play", "play the song in real time on a MIDI device", help, run});

} // namespace

} // namespace reedtab::cli

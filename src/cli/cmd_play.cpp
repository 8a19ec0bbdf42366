// reedtab-cli play: real-time playback on a MIDI output device, with the position shown as it
// plays; Ctrl+C stops cleanly.

#include "cli/args.h"
#include "cli/songfile.h"
#include "cli/traineroption.h"
#include "playback/playermessagequeue.h"
#include "playback/streamplayer.h"
#include "settings/settings.h"

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

    Settings& s = settings();
    s.outputDeviceIndex = -1;
    if (device) {
        const auto names = outputDeviceNames();
        const auto found = std::find(names.begin(), names.end(), *device);
        if (found == names.end()) {
            std::fprintf(stderr, "reedtab-cli play: no output device named \"%s\" (see devices)\n",
                         device->c_str());
            return 1;
        }
        s.outputDeviceIndex = static_cast<int>(found - names.begin()) - 1;
    }
    s.division = std::max<int>(song.division, 1);
    s.baseTempo = song.tempoAt(0);
    s.playMetronome = metronome;
    s.playLoop = loopStart.has_value();
    s.loopStart = loopStart ? static_cast<int>(*loopStart) : -1;
    s.loopEnd = loopEnd ? static_cast<int>(*loopEnd) : -1;
    if (trainer.active()) {
        trainerLoop(s, song);
    }

    SteadyClock clock;
    SystemOutputProvider outputs;
    StreamPlayer player(outputs, clock);
    PlayerMessageQueue window(&player);
    if (player.init(&song, &window) != PlayerOk) {
        std::fprintf(stderr, "reedtab-cli play: no MIDI output device\n");
        return 1;
    }
    if (player.openDevice() != PlayerOk) {
        std::fprintf(stderr, "reedtab-cli play: Cannot open Midi output device\n");
        return 1;
    }
    if (tempo) {
        player.setTempoPercent(static_cast<int>(*tempo));
    }
    player.setTrainer(trainer);

    const bool terminal = isatty(STDOUT_FILENO) != 0;
    int shownBeat = -1;
    int shownPass = -1;
    bool stopped = false;
    bool deviceLost = false;
    window.setHandler([&](const PlayerMessage& message) {
        if (message.message == WM_PLAYER_STOPPED) {
            stopped = true;
            deviceLost = message.wParam == PlayerDeviceError;
            return;
        }
        if (message.message != WM_PLAYER_POSITION || !player.isPlaying()) {
            return;
        }
        if (trainer.active() && player.trainerPass() != shownPass) {
            shownPass = player.trainerPass();
            std::printf("%sPass %d at %d%%\n", terminal ? "\r" : "", shownPass + 1,
                        settings().tempoPercent.load());
        }
        const int tick = std::max(0, static_cast<int>(player.streamTicks()) - player.offset());
        const int beat = tick / std::max<int>(song.division, 1);
        if (beat == shownBeat) {
            return;
        }
        shownBeat = beat;
        const auto text = formatBarBeatTick(song.tickToBarBeatTick(std::min(tick, song.length)));
        std::printf(terminal ? "\r%s" : "%s\n", text.c_str());
        std::fflush(stdout);
    });

    interrupted.store(false);
    auto previous = std::signal(SIGINT, onInterrupt);
    const int started = player.start(from ? static_cast<int>(*from) : 0, countIn);
    if (started != PlayerOk) {
        std::signal(SIGINT, previous);
        std::fprintf(stderr, "reedtab-cli play: Cannot start playing! (code %d)\n", started);
        player.shutdown();
        return started;
    }
    while (!stopped && !interrupted.load()) {
        window.dispatchAll();
        if (player.state() == PlayerState::Idle && window.waiting() == 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (player.isPlaying()) {
        player.stop(false); // all notes off on every channel
    }
    window.dispatchAll();
    player.shutdown();
    std::signal(SIGINT, previous);
    if (terminal) {
        std::printf("\n");
    }
    if (deviceLost) {
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
    "  --trainer START,STEP,TARGET[,PASSES]  speed trainer: loops the loop marks (default the\n"
    "                    whole song to the end of its last bar) at START percent of the tempo\n"
    "                    and raises it by STEP after every PASSES passes (1) up to TARGET;\n"
    "                    prints \"Pass N at P%\" as each pass begins\n"
    "Exit status: 0 at the end of the song, 130 after Ctrl+C, 1 when the device cannot be\n"
    "opened, the player's code when it refuses to start, 2 for a usage error.\n";

const bool registered =
    registerCommand({"play", "play the song in real time on a MIDI device", help, run});

} // namespace

} // namespace reedtab::cli

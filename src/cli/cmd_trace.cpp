// reedtab-cli trace: the transport and the real stream player on a manual clock into a recording
// output; every message that reaches the device, one line each.

#include "cli/args.h"
#include "cli/songfile.h"
#include "cli/traineroption.h"
#include "cli/transportsetup.h"
#include "playback/playermessagequeue.h"
#include "playback/streamplayer.h"
#include "transport/transport.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace reedtab::cli {

namespace {

constexpr double kDefaultLimitSeconds = 3600;

void printMessage(const RecordedMessage& message) {
    std::string line = std::to_string(message.streamTick);
    char text[40];
    std::snprintf(text, sizeof text, " %.3f", static_cast<double>(message.time.count()) / 1e6);
    line += text;
    for (const auto byte : message.bytes) {
        std::snprintf(text, sizeof text, " %02X", byte);
        line += text;
    }
    std::puts(line.c_str());
}

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto from = args.intOption("--from");
    const bool countIn = args.flag("--count-in");
    const auto loopStart = args.intOption("--loop-start");
    const auto loopEnd = args.intOption("--loop-end");
    const bool metronome = args.flag("--metronome");
    const bool clock = args.flag("--clock");
    const auto tempo = args.intOption("--tempo");
    const bool skipPrograms = args.flag("--skip-programs");
    const bool expr2vol = args.flag("--expr2vol");
    const bool editMode = args.flag("--edit-mode");
    const auto seconds = args.option("--seconds");
    SpeedTrainer trainer;
    std::string trainerMessage;
    const bool trainerRead = trainerOption(args, trainer, trainerMessage);
    const auto files = args.positionals();
    if (args.hasError()) {
        return usageError("trace", args.error());
    }
    if (!trainerRead) {
        return usageError("trace", trainerMessage);
    }
    if (trainer.active() && tempo) {
        return usageError("trace", "--tempo and --trainer exclude each other");
    }
    if (trainer.active() && from) {
        return usageError("trace", "--from and --trainer exclude each other");
    }
    if (files.size() != 1) {
        return usageError("trace", "expects one FILE (try --help)");
    }
    double limit = kDefaultLimitSeconds;
    if (seconds) {
        char* end = nullptr;
        limit = std::strtod(seconds->c_str(), &end);
        if (end == seconds->c_str() || *end != '\0' || !(limit > 0)) {
            return usageError("trace", "--seconds needs a positive number");
        }
    }
    if (tempo && (*tempo < 1 || *tempo > 1000)) {
        return usageError("trace", "--tempo needs a percentage from 1 to 1000");
    }
    MidiSong song;
    if (const int result = loadSongReporting("trace", files[0], song); result != LoadOk) {
        return result;
    }

    PlaybackOptions options;
    options.metronome = metronome;
    options.countIn = countIn;
    options.loop = loopStart || loopEnd;
    options.clockOut = clock;
    options.skipProgramChanges = skipPrograms;
    options.expressionToVolume = expr2vol;
    options.editMode = editMode;

    ManualClock manual;
    RecordingOutput output(manual);
    SingleOutputProvider provider(output);
    StreamPlayer player(provider, manual);
    Transport transport(player);
    setUpTransport(transport, song, options, loopStart ? static_cast<int>(*loopStart) : -1,
                   loopEnd ? static_cast<int>(*loopEnd) : -1);
    PlayerMessageQueue window;
    window.setHandler(
        [&transport](const PlayerMessage& message) { transport.handleMessage(message); });
    if (transport.init(song, window) != PlayerOk || transport.openOutput(-1) != PlayerOk) {
        std::fprintf(stderr, "reedtab-cli trace: cannot open the recording output\n");
        return 1;
    }
    if (tempo) {
        transport.setTempoPercent(static_cast<int>(*tempo));
    }
    // Immediate messages carry the last stream position the run reached.
    std::int64_t lastTick = 0;
    output.setTickSource([&] {
        lastTick = std::max<std::int64_t>(lastTick, player.stream().positionTicks());
        return lastTick;
    });
    output.setKeep(false);
    output.setListener(printMessage);

    const int started =
        startTransport(transport, trainer, from ? static_cast<int>(*from) : 0, countIn);
    if (started != PlayerOk) {
        std::fprintf(stderr, "reedtab-cli trace: the player refused to start (code %d)\n", started);
        return started;
    }
    const Nanoseconds end(static_cast<Nanoseconds::rep>(limit * 1e9));
    window.dispatchAll();
    while (player.state() != PlayerState::Idle && player.state() != PlayerState::Closed) {
        const auto due = player.stream().nextDueTime();
        if (!due || *due > end) {
            player.stream().advanceTo(end);
            break;
        }
        player.stream().advanceTo(*due);
        window.dispatchAll();
    }
    if (transport.isPlaying()) {
        transport.stop();
    }
    window.dispatchAll();
    player.shutdown();
    return 0;
}

const char* const help =
    "usage: reedtab-cli trace FILE [--from TICK] [--count-in] [--loop-start TICK]\n"
    "                          [--loop-end TICK] [--metronome] [--clock] [--tempo PERCENT]\n"
    "                          [--skip-programs] [--expr2vol] [--edit-mode] [--seconds S]\n"
    "                          [--trainer START,STEP,TARGET[,PASSES]]\n"
    "\n"
    "Plays the song with the transport and the real stream player on a manual clock into a\n"
    "recording output, as fast as it can, and prints every message that reaches the device,\n"
    "one line each: the stream tick, the time in milliseconds since the start (three\n"
    "decimals) and the message bytes in upper-case hexadecimal.\n"
    "  --from TICK         start there (the controllers and programs before it are chased)\n"
    "  --count-in          a bar of clicks plus one beat before the song\n"
    "  --loop-start/--loop-end TICK  the loop marks (loop on); the end mark alone ends there\n"
    "  --metronome         a click on every beat      --clock  MIDI clock, start and stop\n"
    "  --tempo PERCENT     tempo percentage (100)     --skip-programs  no program changes\n"
    "  --expr2vol          expression controllers scale the note velocities instead\n"
    "  --edit-mode         edit mode: the run does not end with the song\n"
    "  --seconds S         end the run after S seconds of stream time (default 3600)\n"
    "  --trainer START,STEP,TARGET[,PASSES]  speed trainer, as the window's: loops the loop\n"
    "                      marks (the whole song to the end of its last bar unless both are\n"
    "                      given) from the loop's start at START percent of the tempo, raised\n"
    "                      by STEP after every PASSES passes (1) up to TARGET; not with --from\n"
    "Exit status: 0, the reader's code for a file it cannot read, the player's code when it\n"
    "refuses to start (10: the start lies beyond the song), 2 for a usage error.\n";

const bool registered = registerCommand(
    {"trace", "print every message the player sends, with tick and time", help, run});

} // namespace

} // namespace reedtab::cli

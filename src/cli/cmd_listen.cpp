// reedtab-cli listen: judges a recording of the player against a song, or the player live
// from a capture device while the accompaniment plays (Ctrl+C stops cleanly).

#include "cli/args.h"
#include "cli/audiooption.h"
#include "cli/songfile.h"
#include "cli/transportsetup.h"
#include "cli/tuningoption.h"
#include "listen/heardname.h"
#include "listen/judge.h"
#include "listen/pitchlistener.h"
#include "listen/scorestore.h"
#include "playback/playermessagequeue.h"
#include "practice/listensession.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>

namespace reedtab::cli {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onListenInterrupt(int) {
    interrupted.store(true);
}

std::string orNull(const std::optional<double>& value, const char* format) {
    if (!value) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof text, format, *value);
    return text;
}

// What was heard, named: the heard note with its own cents, for the table and "heardTab".
HeardName heardName(const HeardNamer& namer, const JudgedNote& note) {
    const int heard = *note.heard;
    const double cents = *note.cents - (heard - note.expected.note) * 100.0;
    return namer.name(heard, cents, heard == note.expected.note ? note.expected.fingering : 0);
}

void printJson(int track, double tolerance, const std::vector<JudgedNote>& notes,
               const Judge& judge, const HeardNamer& namer) {
    std::printf("{\"track\": %d, \"tolerance\": %g, \"notes\": [", track, tolerance);
    const char* separator = "\n";
    for (const JudgedNote& n : notes) {
        const std::string heard = n.heard ? std::to_string(*n.heard) : "null";
        const std::string heardTab =
            n.heard ? jsonString(heardName(namer, n).tab) : std::string("null");
        std::printf("%s  {\"tick\": %d, \"ms\": %.1f, \"expected\": %d, \"tab\": %s, "
                    "\"verdict\": \"%s\", \"heard\": %s, \"heardTab\": %s, \"cents\": %s, "
                    "\"timingMs\": %s}",
                    separator, n.expected.tick, n.expected.ms, n.expected.note,
                    jsonString(namer.tab(n.expected.note, n.expected.fingering)).c_str(),
                    verdictName(n.verdict), heard.c_str(), heardTab.c_str(),
                    orNull(n.cents, "%.1f").c_str(), orNull(n.timingMs, "%.1f").c_str());
        separator = ",\n";
    }
    const PassScore score = judge.score();
    std::printf("\n], \"extra\": %d, \"score\": {\"hit\": %d, \"wrong\": %d, \"missed\": %d, "
                "\"accuracy\": %.4f, \"medianTimingMs\": %s}}\n",
                score.extras, score.hits, score.wrongs, score.misses, score.accuracy,
                orNull(score.medianTimingMs, "%.1f").c_str());
}

void printHeading() {
    std::printf("%-11s %9s %-8s %-7s %-44s %s\n", "position", "ms", "expected", "verdict", "heard",
                "timing");
}

void printRow(const MidiSong& song, const HeardNamer& namer, const JudgedNote& n) {
    const std::string heard = n.heard ? heardName(namer, n).describe() : "";
    const std::string timing = orNull(n.timingMs, "%+.0f ms");
    std::printf("%-11s %9.1f %-8s %-7s %-44s %s\n",
                formatBarBeatTick(song.tickToBarBeatTick(n.expected.tick)).c_str(), n.expected.ms,
                namer.tab(n.expected.note, n.expected.fingering).c_str(), verdictName(n.verdict),
                heard.c_str(), n.timingMs ? timing.c_str() : "");
}

void printScore(const PassScore& s) {
    std::printf("Score: %d hit, %d wrong, %d missed of %d (%.1f %%), %d extra", s.hits, s.wrongs,
                s.misses, s.expected, 100.0 * s.accuracy, s.extras);
    if (s.medianTimingMs) {
        std::printf("; timing median %+.0f ms, spread %.0f ms", *s.medianTimingMs,
                    *s.timingSpreadMs);
    }
    std::printf("\n");
}

void printTable(const MidiSong& song, int track, double tolerance, const std::string& title,
                const std::vector<JudgedNote>& notes, const Judge& judge, const HeardNamer& namer) {
    const MidiTrack* t = song.track(track);
    const std::string name = t && !t->name.empty() ? ": " + t->name : "";
    std::printf("Track %02d%s; %zu notes; tolerance %g cents; %s\n", track, name.c_str(),
                notes.size(), tolerance, title.c_str());
    printHeading();
    for (const JudgedNote& n : notes) {
        printRow(song, namer, n);
    }
    printScore(judge.score());
}

struct LiveOptions {
    std::optional<std::string> input;
    std::optional<std::string> output;
    bool wait = false;
    std::optional<double> latency;
    std::optional<long long> tempo;
};

// Prints each note as it is judged, where playing waits, and each pass's score.
class LivePrinter final : public TransportListener, public ListenSessionListener {
public:
    LivePrinter(const Clock& clock, const MidiSong& song, const HeardNamer& namer)
        : clock_(clock), song_(song), namer_(namer) {}

    void setSession(ListenSession* session) { session_ = session; }
    double nowMs() const { return clock_.now().count() / 1e6; }
    bool deviceLost() const { return deviceLost_; }
    const std::optional<PassScore>& lastScore() const { return lastScore_; }

    void positionReached(const PositionReport& report) override {
        session_->positionReached(report, nowMs());
    }
    void tempoChanged(int) override {}
    void songEnded(int result) override {
        deviceLost_ = result == PlayerDeviceError;
        session_->songEnded(nowMs());
    }
    void held(std::int32_t tick) override { session_->held(tick, nowMs()); }

    void noteJudged(int, const JudgedNote& note) override {
        printRow(song_, namer_, note);
        std::fflush(stdout);
    }
    void passEnded(int pass, const PassScore& score, bool complete) override {
        std::printf("Pass %d%s: ", pass + 1, complete ? "" : " (stopped)");
        printScore(score);
        std::fflush(stdout);
        lastScore_ = score;
    }
    void waitingFor(const std::optional<ExpectedNote>& note) override {
        if (note) {
            std::printf("waiting for %s\n", namer_.tab(note->note, note->fingering).c_str());
            std::fflush(stdout);
        }
    }

private:
    const Clock& clock_;
    const MidiSong& song_;
    const HeardNamer& namer_;
    ListenSession* session_ = nullptr;
    bool deviceLost_ = false;
    std::optional<PassScore> lastScore_;
};

// The capture device opened at 48 kHz, else 44.1 kHz; false after saying why.
bool openInput(AudioInput& input, const std::string& device) {
    int opened = input.open(device, 48000);
    if (opened == ListenDeviceError) {
        opened = input.open(device, 44100);
    }
    if (opened == ListenOk) {
        return true;
    }
    const char* why = opened == ListenNoLibrary  ? "the audio library (RtAudio) cannot be loaded"
                      : opened == ListenNoDevice ? "no capture device of that name (see devices)"
                                                 : "the device refused to open";
    std::fprintf(stderr, "reedtab-cli listen: \"%s\": %s %s\n", device.c_str(), why,
                 input.errorText().c_str());
    return false;
}

// Plays the song on the output while the player plays the judged track, which is muted (the
// song is this command's own: no document shares its tracks), until the end or Ctrl+C. The
// capture is analysed on this thread between the transport's messages.
int listenLive(MidiSong& song, const HeardNamer& namer, const LiveOptions& live,
               ListenSessionOptions options, double a4) {
    int deviceIndex = -1;
    if (live.output) {
        const auto names = outputDeviceNames();
        const auto found = std::find(names.begin(), names.end(), *live.output);
        if (found == names.end()) {
            std::fprintf(stderr,
                         "reedtab-cli listen: no output device named \"%s\" (see devices)\n",
                         live.output->c_str());
            return 1;
        }
        deviceIndex = static_cast<int>(found - names.begin()) - 1;
    }
    SteadyClock clock;
    AudioInput input(clock);
    if (!openInput(input, *live.input)) {
        return 1;
    }
    PitchOptions pitchOptions;
    pitchOptions.a4 = a4;
    PitchListener listener(input.rate(), pitchOptions);
    if (listener.status() != ListenOk) {
        std::fprintf(stderr, "reedtab-cli listen: the pitch analysis library (aubio) cannot be "
                             "loaded\n");
        return 1;
    }
    options.judge.analysisDelayMs = listener.tracker().onsetDelayMs();

    SystemOutputProvider outputs;
    StreamPlayer player(outputs, clock);
    Transport transport(player);
    setUpTransport(transport, song, PlaybackOptions{}, -1, -1);
    PlayerMessageQueue window;
    window.setHandler(
        [&transport](const PlayerMessage& message) { transport.handleMessage(message); });
    if (transport.init(song, window) != PlayerOk || transport.openOutput(deviceIndex) != PlayerOk) {
        std::fprintf(stderr, "reedtab-cli listen: Cannot open Midi output device\n");
        return 1;
    }
    if (live.tempo) {
        transport.setTempoPercent(static_cast<int>(*live.tempo));
    }
    ListenSession session(transport, song, options);
    if (session.track() < 0) {
        std::fprintf(stderr, "reedtab-cli listen: the song has no notes to play along with\n");
        player.shutdown();
        return 1;
    }
    LivePrinter printer(clock, song, namer);
    printer.setSession(&session);
    transport.setListener(&printer);
    session.setListener(&printer);
    MidiTrack& judged = *song.track(session.track());
    judged.flags.fetch_or(TrackMuted);

    std::printf("Listening to \"%s\" at %d Hz; track %02d muted (headphones help)%s\n",
                live.input->c_str(), input.rate(), session.track(),
                options.wait ? "; waiting for each note" : "");
    printHeading();
    std::fflush(stdout);
    interrupted.store(false);
    auto previous = std::signal(SIGINT, onListenInterrupt);
    int status = input.start() == ListenOk ? static_cast<int>(session.start()) : -1;
    std::vector<PitchFrame> frames;
    while (status == PlayerOk && !interrupted.load() && (session.active() || session.closing())) {
        window.dispatchAll();
        frames.clear();
        listener.poll(input, frames);
        session.hear(frames);
        session.advanceTo(printer.nowMs());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    session.stop();
    window.dispatchAll();
    input.close();
    player.shutdown();
    std::signal(SIGINT, previous);
    if (status != PlayerOk) {
        std::fprintf(stderr, "reedtab-cli listen: %s\n",
                     status < 0 ? "the capture device did not start" : "Cannot start playing!");
        return 1;
    }
    if (input.droppedFrames() > 0) {
        std::fprintf(stderr, "reedtab-cli listen: %llu captured frames were lost\n",
                     static_cast<unsigned long long>(input.droppedFrames()));
    }
    if (printer.deviceLost()) {
        std::fprintf(stderr, "reedtab-cli listen: %s\n", kDeviceLostText);
        return 1;
    }
    return interrupted.load() ? 130 : 0;
}

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto track = args.intOption("--track");
    const auto diatonicName = args.option("--diatonic");
    const auto chromaticName = args.option("--chromatic");
    const auto offset = args.numberOption("--offset");
    const auto tolerance = args.numberOption("--tolerance");
    std::string message;
    const auto key = keyOption(args, 60, message);
    const auto from = tickOption(args, "--from", message);
    const auto to = tickOption(args, "--to", message);
    const auto a4 = a4Option(args, message);
    const bool json = args.flag("--json");
    const bool keep = args.flag("--keep");
    LiveOptions live;
    live.input = args.option("--input");
    live.output = args.option("--output");
    live.wait = args.flag("--wait");
    live.latency = args.numberOption("--latency");
    live.tempo = args.intOption("--tempo");
    const auto files = args.positionals();
    if (args.hasError()) {
        return usageError("listen", args.error());
    }
    if (!key || !from || !to || !a4) {
        return usageError("listen", message);
    }
    if (live.input) {
        if (files.size() != 1) {
            return usageError("listen", "with --input expects SONG alone (try --help)");
        }
        if (json || offset || keep) {
            return usageError("listen", "--json, --offset and --keep are for a recording");
        }
    } else if (files.size() != 2) {
        return usageError("listen", "expects SONG and AUDIO (try --help)");
    } else if (live.output || live.wait || live.latency || live.tempo) {
        return usageError("listen", "--output, --wait, --latency and --tempo go with --input");
    }
    if (live.tempo && (*live.tempo < 1 || *live.tempo > 1000)) {
        return usageError("listen", "--tempo needs a percentage from 1 to 1000");
    }
    if (diatonicName && chromaticName) {
        return usageError("listen", "--diatonic and --chromatic exclude each other");
    }
    if (tolerance && (*tolerance < kToleranceLow || *tolerance > kToleranceHigh)) {
        return usageError("listen", "--tolerance takes 10 to 100 cents");
    }

    Settings block;
    block.tabMode = chromaticName ? kChromaticTab : kDiatonicTab;
    DiatonicLayout diatonic(block);
    ChromaticLayout chromatic(block);
    if (!selectTunings("listen", diatonic, chromatic, diatonicName, chromaticName, *key)) {
        return kUsageError;
    }
    const HeardNamer namer(block, diatonic, chromatic);

    MidiSong song;
    if (const int result = loadSongReporting("listen", files[0], song); result != LoadOk) {
        return result;
    }
    if (track && (*track < 0 || *track >= song.trackCount())) {
        return usageError("listen", "--track takes a track of the file, 0 to " +
                                        std::to_string(song.trackCount() - 1));
    }
    if (live.input) {
        ListenSessionOptions options;
        options.range.track = track ? static_cast<int>(*track) : -1;
        options.range.from = *from;
        options.range.to = *to;
        options.judge.toleranceCents = tolerance.value_or(options.judge.toleranceCents);
        options.judge.latencyMs = live.latency.value_or(0.0);
        options.wait = live.wait;
        return listenLive(song, namer, live, options, *a4);
    }
    const auto pitch = analyseAudio("listen", files[1], *a4);
    if (!pitch) {
        return kAudioFailed;
    }

    ListenRange range;
    range.track = track ? static_cast<int>(*track) : -1;
    range.from = *from;
    range.to = *to;
    ExpectedTrack expected = expectedNotes(song, range);
    expected.placeFirstAt(offset.value_or(0.0));
    JudgeOptions options;
    options.toleranceCents = tolerance.value_or(options.toleranceCents);
    options.analysisDelayMs = pitch->onsetDelayMs;
    Judge judge(options);
    for (const ExpectedNote& note : expected.notes) {
        judge.expect(note);
    }
    for (const PitchFrame& frame : pitch->frames) {
        judge.hear(frame);
    }
    judge.finish();
    if (keep) {
        PassRecord record;
        record.date = utcDate(std::time(nullptr));
        record.songPath = scoreSongPath(files[0]);
        record.notesHash = notesHash(song);
        record.from = *from;
        record.to = *to;
        record.score = judge.score();
        ScoreStore store(defaultScorePath());
        if (store.append(record) != 0) {
            std::fprintf(stderr, "reedtab-cli listen: cannot keep the score in %s\n",
                         store.path().c_str());
            return kAudioFailed;
        }
    }

    if (json) {
        printJson(expected.track, options.toleranceCents, judge.judged(), judge, namer);
    } else {
        std::string title;
        Notation(block, diatonic, chromatic).tabTitle(false, title);
        printTable(song, expected.track, options.toleranceCents, title, judge.judged(), judge,
                   namer);
    }
    return 0;
}

const char* const help =
    "usage: reedtab-cli listen SONG AUDIO [--track N]\n"
    "                   [--diatonic NAME|FILE.tun | --chromatic NAME|FILE.tun] [--key N]\n"
    "                   [--from TICK] [--to TICK] [--offset MS] [--tolerance CENTS]\n"
    "                   [--a4 HZ] [--json] [--keep]\n"
    "       reedtab-cli listen SONG --input DEVICE [--output DEVICE] [--wait] [--tempo PERCENT]\n"
    "                   [--latency MS] [--track N] [--diatonic ... | --chromatic ...] [--key N]\n"
    "                   [--from TICK] [--to TICK] [--tolerance CENTS] [--a4 HZ]\n"
    "\n"
    "Judges a recording of the player (WAV, FLAC, Ogg ...) against a track of the song.\n"
    "Each expected note is a hit (a confident pitch within the tolerance), wrong (a\n"
    "confident pitch outside it: the note heard and how far) or missed (nothing\n"
    "confident), with the timing of the heard start against the expected one in ms\n"
    "(positive: late); heard notes that match no expected note count as extra. Of a\n"
    "chord only the highest note is expected. Heard notes are named as holes and\n"
    "techniques of the harmonica.\n"
    "--track N: the track (numbered from 0); default the track with the most notes\n"
    "outside channel 10.\n"
    "--diatonic, --chromatic: the harmonica, a built-in tuning or a .tun file; default\n"
    "\"Major Diatonic (Richter)\" (see 'reedtab-cli notes --help'). --key N: the MIDI\n"
    "note of its key (default 60).\n"
    "--from, --to: only notes starting at or after --from and before --to (ticks).\n"
    "--offset MS: where in the recording the range's first note falls (the first note of\n"
    "the track at or after --from, else its first note); default 0.\n"
    "--tolerance CENTS: 10..100 (default 30). --a4 HZ: concert pitch 430..450 (440).\n"
    "--json: {\"track\": N, \"tolerance\": C, \"notes\": [{\"tick\": T, \"ms\": M,\n"
    "\"expected\": N, \"tab\": \"+4\", \"verdict\": \"hit\"|\"wrong\"|\"missed\", \"heard\": "
    "N|null,\n"
    "\"heardTab\": \"-3'\"|null, \"cents\": X|null, \"timingMs\": D|null}, ...], \"extra\": K,\n"
    "\"score\": {\"hit\": H, \"wrong\": W, \"missed\": M, \"accuracy\": A,\n"
    "\"medianTimingMs\": D}}; ms is the note's time in the recording, cents the heard\n"
    "pitch against the expected note's.\n"
    "--keep: the pass's score is kept with the song's others in the score file beside the\n"
    "settings, which the Listen window's chart shows.\n"
    "\n"
    "Live, with --input DEVICE (a capture device, see the devices command): the song plays\n"
    "on the MIDI output device --output (default \"Midi Mapper\") with the judged track\n"
    "muted (headphones help: its sound in the room would be heard as yours), and each note\n"
    "is printed as it is judged, the pass's score at the end. --wait: playing holds at each\n"
    "expected note, the accompaniment with it, until that note is heard; a wrong note first\n"
    "makes it wrong, and its timing counts from the hold. --tempo PERCENT: tempo percentage.\n"
    "--latency MS: taken off every heard time (the round trip of the devices). Ctrl+C\n"
    "stops cleanly.\n"
    "Exit status: 0, the reader's result code when the song cannot be read, 1 when the\n"
    "audio cannot be read or analysed or a device cannot be opened, 130 after Ctrl+C, 2 for\n"
    "a usage error or an unknown tuning.\n";

const bool registered =
    registerCommand({"listen", "judge the player, recorded or live, against a song", help, run});

} // namespace

} // namespace reedtab::cli

// Reads arbitrary bytes as a song and applies a random sequence of the document's edits and
// undos to it, checking the song after every step: notes paired, the merged list complete and
// in tick order, the length that of the list, an undo giving back the song as it was before
// the edit and a redo the song as the edit left it (either after the reading normalisation the
// undo history's images go through). A track itself may fall
// out of tick order: a file can hold an end of track in mid-track, and an added event goes
// before the first end of track.
//
// The input is the file; the edit script is read from its last bytes backwards, so every file
// of the corpus is also a script.

#include "document/documentui.h"
#include "document/playercontrol.h"
#include "document/reedtabdoc.h"
#include "document/songedits.h"
#include "model/midisong.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace reedtab;

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "edit fuzzer: %s\n", what);
        std::abort();
    }
}

class SilentUi : public DocumentUi {
public:
    void messageBox(const std::string&, const std::string&, MessageIcon) override {}
    bool askYesNo(const std::string&, const std::string&) override { return true; }
    Answer askYesNoCancel(const std::string&, const std::string&) override { return Answer::No; }
    void beep() override {}
    std::string askSavePath(const std::string&) override { return {}; }
    void beginProgress() override {}
    void setProgress(int) override {}
    void endProgress() override {}
    void setWaitCursor(bool) override {}
    void setStatusText(const std::string&) override {}
    void modifiedChanged(bool) override {}
};

class StoppedPlayer : public PlayerControl {
public:
    bool isPlaying() const override { return false; }
    void stop() override {}
    void restart() override {}
    void setPosition(int32_t) override {}
    void setSongTiming(int, int32_t) override {}
    void suspend() override {}
    void resume(int) override {}
};

// The edit script: bytes taken from the end of the input backwards, 0 once used up.
class Script {
public:
    Script(const uint8_t* data, size_t size) : data_(data), left_(size < 32 ? size : 32) {
        end_ = size;
    }
    bool more() const { return left_ > 0; }
    int byte() {
        if (left_ == 0)
            return 0;
        --left_;
        return data_[--end_];
    }
    // A tick near the song: mostly inside it, sometimes past its end.
    int32_t tick(const MidiSong& song) {
        int64_t span = std::min<int64_t>(int64_t{song.length} + song.length / 4 + 1,
                                         std::numeric_limits<int32_t>::max());
        return static_cast<int32_t>((int64_t{byte() << 8 | byte()} * span) >> 16);
    }

private:
    const uint8_t* data_;
    size_t end_;
    size_t left_;
};

using Row = std::tuple<int, int, int32_t, int, int, int, int32_t, std::string>;

// The checks walk whole songs: instrumented, they would cost more than the edits they check and
// show the fuzzer nothing about the document's code.
#define UNCOVERED __attribute__((no_sanitize("coverage")))

UNCOVERED std::vector<Row> listEvents(const MidiSong& song) {
    std::vector<Row> rows;
    for (int t = 0; t < song.trackCount(); ++t)
        for (const auto& e : song.tracks[static_cast<size_t>(t)]->events)
            rows.emplace_back(t, e->kind(), e->tick, e->status, e->data1, e->data2, e->duration,
                              std::string(e->bytes()));
    return rows;
}

UNCOVERED void checkSong(const MidiSong& song) {
    check(!song.tracks.empty(), "no tracks");
    size_t playable = 0;
    for (const auto& track : song.tracks) {
        const auto& events = track->events;
        for (size_t i = 0; i < events.size(); ++i) {
            const MidiEvent* e = events[i].get();
            check(e->track == track.get(), "event in the wrong track");
            if (MergedEventList::belongs(e->kind()))
                ++playable;
            if (e->isNoteOn()) {
                check(e->partner && e->partner->partner == e, "note-on unpaired");
                check(e->partner->track == track.get(), "note-off in another track");
                check(e->duration == e->partner->tick - e->tick && e->duration > 0,
                      "duration wrong");
            } else if (e->isNoteOff()) {
                check(e->partner && e->partner->partner == e, "note-off unpaired");
            }
        }
    }
    check(playable == song.mergedEvents.size(), "merged list incomplete");
    for (size_t i = 0; i < song.mergedEvents.size(); ++i) {
        const MidiEvent* e = song.mergedEvents[i];
        check(e->track && song.trackIndexOf(e->track) >= 0, "merged event without track");
        check(i == 0 || song.mergedEvents[i - 1]->tick <= e->tick, "merged list out of order");
    }
    check(song.length == (song.mergedEvents.empty() ? 0 : song.mergedEvents.back()->tick),
          "length is not the last event's tick");
    for (int32_t tick : {0, song.length / 2, song.length})
        check(song.tickToBarBeatTick(tick).result == 0, "position outside the bar table");
}

// Saves the song to `path` without taking its name, so that it can be read back in the form
// an undo from a snapshot gives.
void saveCopy(MidiSong& song, const std::string& path) {
    std::string kept = song.path;
    check(song.saveFile(path) == SaveOk, "save failed");
    song.path = kept;
}

// The song saved at `path` as it reads back.
std::vector<Row> readBack(const std::string& path) {
    MidiSong copy;
    check(copy.loadFile(path) == LoadOk, "saved song does not read");
    return listEvents(copy);
}

// Up to three paired notes, as the view's selection would hold them.
std::vector<MidiEvent*> pickNotes(MidiSong& song, Script& script) {
    std::vector<MidiEvent*> paired;
    for (size_t i = 0; i < song.mergedEvents.size(); ++i) {
        if (song.mergedEvents[i]->isNoteOn() && song.mergedEvents[i]->partner)
            paired.push_back(song.mergedEvents[i]);
    }
    std::vector<MidiEvent*> picked;
    for (int n = script.byte() % 3 + 1; n > 0 && !paired.empty(); --n) {
        MidiEvent* note = paired[static_cast<size_t>(script.byte()) % paired.size()];
        if (std::find(picked.begin(), picked.end(), note) == picked.end())
            picked.push_back(note);
    }
    return picked;
}

void edit(CReedtabDoc& doc, Script& script) {
    MidiSong& song = doc.song;
    int track = script.byte() % (song.trackCount() + 1);
    switch (script.byte() % 16) {
    case 0:
        doc.transposeCommand(script.byte() % 25 - 12, script.byte() & 1);
        break;
    case 1:
        doc.markBeginningAt(script.tick(song));
        doc.markEndingAt(script.tick(song));
        doc.crop();
        break;
    case 2:
        doc.markBeginningAt(script.tick(song));
        doc.markEndingAt(script.tick(song));
        doc.cut();
        break;
    case 3:
        doc.markBeginningAt(script.tick(song));
        doc.markEndingAt(script.tick(song));
        doc.deleteSelection();
        break;
    case 4:
        doc.cursorTick = script.tick(song);
        doc.insertSilence(script.byte() % 3, script.byte() % 5, script.byte());
        break;
    case 5:
        doc.cursorTick = script.tick(song);
        doc.editTrack = static_cast<int16_t>(track);
        doc.soundingTicks = script.byte() + 1;
        doc.gapTicks = script.byte() % 8;
        // Whole notes, programs and bends; a held key leaves its note open until it is
        // released, which a script cannot promise.
        doc.addNoteFromEntry(script.byte() % 128, script.byte(), script.byte() % 16,
                             std::array{EntryWholeNote, EntryProgram,
                                        EntryPitchWheel}[static_cast<size_t>(script.byte() % 3)]);
        break;
    case 6:
        doc.addTextEdit(track, script.tick(song), "text");
        break;
    case 7:
        if (!song.mergedEvents.empty())
            doc.deleteEventEdit(song.mergedEvents[static_cast<size_t>(
                (script.byte() << 8 | script.byte()) % song.mergedEvents.size())]);
        break;
    case 8:
        doc.deleteTrackEdit(track, true);
        break;
    case 9:
        if (MidiTrack* t = song.track(track))
            t->volumePercent = static_cast<uint8_t>(script.byte());
        doc.applyTrackVolumeEdit(track, true);
        break;
    case 10:
        doc.deleteNotes(pickNotes(song, script));
        break;
    case 11: {
        // A drag in the view: every selected note moves, the first may be stretched.
        std::vector<MidiEvent*> notes = pickNotes(song, script);
        int32_t to = script.tick(song);
        int32_t offset = to - script.tick(song);
        int keys = script.byte() % 25 - 12;
        int32_t length = script.byte() * 4;
        doc.moveSelectedNotes(notes, offset, keys, notes.empty() ? nullptr : notes.front(), length,
                              true);
        break;
    }
    case 12:
        doc.markBeginningAt(script.tick(song));
        doc.markEndingAt(script.tick(song));
        doc.mapNotes(script.byte() % 17 - 1, script.byte() % 129 - 1, script.byte() % 129 - 1,
                     script.byte() % 201 - 1, script.byte() % 201 - 1);
        break;
    case 13:
        doc.markBeginningAt(script.tick(song));
        doc.markEndingAt(script.tick(song));
        doc.copySelection();
        doc.paste(script.tick(song));
        break;
    case 14:
        doc.cut(pickNotes(song, script));
        break;
    default:
        // The clip of an earlier copy or cut, which may come from another track layout.
        doc.paste(script.tick(song));
        break;
    }
}

} // namespace

// Undefined behaviour is a finding like any crash, not a message to scroll past.
extern "C" const char* __ubsan_default_options() {
    return "halt_on_error=1:print_stacktrace=1";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Every save syncs the file: in memory that costs nothing, on a disk it would set the pace.
    struct Folder {
        std::string path;
        ~Folder() {
            std::error_code error;
            std::filesystem::remove_all(path, error);
        }
    };
    static const Folder folder = [] {
        std::error_code error;
        std::string base = std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/reedtab-fuzz-edits-XXXXXX";
        check(mkdtemp(pattern.data()) != nullptr, "no temporary folder");
        return Folder{pattern};
    }();
    const std::string input = folder.path + "/input.mid";
    const std::string saved = folder.path + "/saved.mid";
    const std::string savedEdited = folder.path + "/edited.mid";
    if (std::FILE* f = std::fopen(input.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    SilentUi ui;
    StoppedPlayer player;
    CReedtabDoc doc(ui, player);
    if (doc.openDocument(input) != LoadOk || doc.song.mergedEvents.size() > 500)
        return 0;
    checkSong(doc.song);
    Script script(data, size);
    while (script.more()) {
        bool undoAfter = script.byte() & 1;
        // Only this edit may be undone, never one from an earlier step.
        if (undoAfter)
            doc.resetUndo();
        std::vector<Row> before;
        if (undoAfter) {
            before = listEvents(doc.song);
            saveCopy(doc.song, saved);
        }
        edit(doc, script);
        checkSong(doc.song);
        if (undoAfter && doc.undoEnabled()) {
            const std::vector<Row> edited = listEvents(doc.song);
            saveCopy(doc.song, savedEdited);
            bool undone = doc.undo();
            checkSong(doc.song);
            if (undone) {
                // Reading the saved copy back is needed only when the undo did not give the
                // very same events.
                std::vector<Row> after = listEvents(doc.song);
                check(after == before || after == readBack(saved), "undo did not restore the song");
                check(doc.redo(), "no redo after an undo");
                checkSong(doc.song);
                after = listEvents(doc.song);
                check(after == edited || after == readBack(savedEdited),
                      "redo did not give the edited song back");
            }
        }
    }
    return 0;
}

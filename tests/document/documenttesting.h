#pragma once

// Helpers for the document tests: a scripted user interface and player that record what the
// document asked of them, songs built event by event and written to a private folder, and a
// listing of every event of a song for exact comparisons.

#include "document/documentui.h"
#include "document/playercontrol.h"
#include "document/reedtabdoc.h"
#include "document/songedits.h"
#include "model/midisong.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

namespace reedtab::testing {

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

class ScriptedUi : public DocumentUi {
public:
    std::vector<ShownMessage> messages;
    std::vector<std::string> questions;
    std::vector<std::string> questionCaptions;
    bool yesNoAnswer = true;
    Answer yesNoCancelAnswer = Answer::Yes;
    std::string savePath;
    std::vector<int> progress;
    std::string statusText = "(untouched)";
    int beeps = 0;
    int repaints = 0;
    int trackListRefreshes = 0;
    int droppedSelections = 0;
    int modifiedNotices = 0;
    bool progressOpen = false;

    void messageBox(const std::string& text, const std::string& caption,
                    MessageIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    bool askYesNo(const std::string& text, const std::string& caption) override {
        questions.push_back(text);
        questionCaptions.push_back(caption);
        return yesNoAnswer;
    }
    Answer askYesNoCancel(const std::string& text, const std::string&) override {
        questions.push_back(text);
        return yesNoCancelAnswer;
    }
    void beep() override { ++beeps; }
    std::string askSavePath(const std::string&) override { return savePath; }
    void beginProgress() override { progressOpen = true; }
    void setProgress(int percent) override { progress.push_back(percent); }
    void endProgress() override { progressOpen = false; }
    void setWaitCursor(bool) override {}
    void setStatusText(const std::string& text) override { statusText = text; }
    void modifiedChanged(bool) override { ++modifiedNotices; }

    /// Counts the document's notices by kind once `listen` has subscribed to them.
    void listen(CReedtabDoc& document) {
        document.subscribe([this](const DocumentNotice& notice) {
            notices.push_back(notice.changes);
            if (notice.has(SongReplaced))
                ++songReplacements;
            if (notice.has(EventsChanged))
                ++repaints;
            if (notice.has(TracksChanged))
                ++trackListRefreshes;
            if (notice.has(SelectionChanged) && !notice.leavingNote)
                ++droppedSelections;
            if (notice.has(SelectionChanged) && notice.leavingNote)
                leavingNotes.push_back(notice.leavingNote);
        });
    }
    std::vector<unsigned> notices;
    std::vector<const MidiEvent*> leavingNotes;
    int songReplacements = 0;
};

class ScriptedPlayer : public PlayerControl {
public:
    bool playing = false;
    int stops = 0;
    int restarts = 0;
    int suspends = 0;
    std::vector<int> resumedAt;
    std::vector<int32_t> positions;
    int division = 0;
    int32_t tempo = 0;

    bool isPlaying() const override { return playing; }
    void stop() override {
        ++stops;
        playing = false;
    }
    void restart() override {
        ++restarts;
        playing = true;
    }
    void setPosition(int32_t tick) override { positions.push_back(tick); }
    void setSongTiming(int div, int32_t microsPerQuarter) override {
        division = div;
        tempo = microsPerQuarter;
    }
    void suspend() override { ++suspends; }
    void resume(int mergedIndex) override { resumedAt.push_back(mergedIndex); }
};

/// A private folder for the files of one test, removed with it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

/// Builds a song by hand: `begin` clears it, the add functions put events in track order,
/// `finish` adds the ends of track and pairs the notes.
void beginSong(MidiSong& song, int tracks, int division = 480);
void addNote(MidiSong& song, int track, int channel, int key, int32_t on, int32_t off,
             int velocity = 100);
void addController(MidiSong& song, int track, int channel, int number, int value, int32_t tick);
void addProgram(MidiSong& song, int track, int channel, int program, int32_t tick);
void addTempo(MidiSong& song, int track, int32_t tick, int32_t microsPerQuarter);
void addTimeSignature(MidiSong& song, int track, int32_t tick, int numerator, int denominator);
void addText(MidiSong& song, int track, int32_t tick, const std::string& text);
void finishSong(MidiSong& song, int32_t endTick);

/// One event as compared: track, kind, tick, status, data1, data2, duration, payload.
using EventRow = std::tuple<int, int, int32_t, int, int, int, int32_t, std::string>;
std::vector<EventRow> listEvents(const MidiSong& song);

/// The note-ons (velocity > 0) of a track as (tick, key, velocity, duration).
using NoteRow = std::tuple<int32_t, int, int, int32_t>;
std::vector<NoteRow> listNotes(const MidiSong& song, int track);

/// Saves `song` to `path` and reads it back into a fresh song, which is listed.
std::vector<EventRow> roundTrip(MidiSong& song, const std::string& path);

/// A document over a scripted user interface and player.
struct DocFixture {
    ScriptedUi ui;
    ScriptedPlayer player;
    CReedtabDoc doc{ui, player};
    TempFolder folder;

    DocFixture() { ui.listen(doc); }
    /// Writes `song` as "song.mid" in the folder and opens it through the document.
    void open(MidiSong& song);
};

} // namespace reedtab::testing

#include "documenttesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace reedtab::testing {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "reedtab-doc-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        ADD_FAILURE() << "cannot create a temporary folder";
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

void beginSong(MidiSong& song, int tracks, int division) {
    song.clear();
    song.format = 1;
    song.division = static_cast<int16_t>(division);
    for (int i = 0; i < tracks; ++i) {
        song.tracks.push_back(std::make_unique<MidiTrack>());
        song.tracks.back()->index = i;
    }
}

void addNote(MidiSong& song, int track, int channel, int key, int32_t on, int32_t off,
             int velocity) {
    song.addEvent(on, track,
                  makeChannelEvent(static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key),
                                   static_cast<uint8_t>(velocity)));
    song.addEvent(
        off, track,
        makeChannelEvent(static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0));
}

void addController(MidiSong& song, int track, int channel, int number, int value, int32_t tick) {
    song.addEvent(tick, track,
                  makeChannelEvent(static_cast<uint8_t>(0xB0 | channel),
                                   static_cast<uint8_t>(number), static_cast<uint8_t>(value)));
}

void addProgram(MidiSong& song, int track, int channel, int program, int32_t tick) {
    song.addEvent(
        tick, track,
        makeChannelEvent(static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(program), 0));
}

void addTempo(MidiSong& song, int track, int32_t tick, int32_t microsPerQuarter) {
    song.addEvent(tick, track, makeTempoEvent(microsPerQuarter));
}

void addTimeSignature(MidiSong& song, int track, int32_t tick, int numerator, int denominator) {
    auto signature = makeTimeSignatureEvent(numerator, denominator);
    TimeSignatureEvent* raw = signature.get();
    song.addEvent(tick, track, std::move(signature));
    song.timeSignatureList.push_back(raw);
}

void addText(MidiSong& song, int track, int32_t tick, const std::string& text) {
    song.addTextEvent(track, tick, text);
}

void finishSong(MidiSong& song, int32_t endTick) {
    for (int i = 0; i < song.trackCount(); ++i) {
        int32_t last = song.tracks[i]->empty() ? 0 : song.tracks[i]->last()->tick;
        song.addEvent(std::max(endTick, last), i, makeEndOfTrackEvent());
    }
    song.repairAllTracks();
    song.rebuildBars();
}

std::vector<EventRow> listEvents(const MidiSong& song) {
    std::vector<EventRow> rows;
    for (int t = 0; t < song.trackCount(); ++t) {
        for (const auto& e : song.tracks[t]->events) {
            rows.emplace_back(t, e->kind(), e->tick, e->status, e->data1, e->data2, e->duration,
                              std::string(e->bytes()));
        }
    }
    return rows;
}

std::vector<NoteRow> listNotes(const MidiSong& song, int track) {
    std::vector<NoteRow> rows;
    for (const auto& e : song.tracks[track]->events) {
        if (e->isNoteOn())
            rows.emplace_back(e->tick, e->data1, e->data2, e->duration);
    }
    return rows;
}

std::vector<EventRow> roundTrip(MidiSong& song, const std::string& path) {
    std::string keptPath = song.path;
    EXPECT_EQ(song.saveFile(path), SaveOk);
    song.path = keptPath;
    MidiSong copy;
    EXPECT_EQ(copy.loadFile(path), LoadOk);
    return listEvents(copy);
}

void DocFixture::open(MidiSong& song) {
    std::string path = folder.file("song.mid");
    ASSERT_EQ(song.saveFile(path), SaveOk);
    ASSERT_EQ(doc.openDocument(path), LoadOk);
}

} // namespace reedtab::testing

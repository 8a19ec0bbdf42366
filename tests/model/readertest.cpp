#include "model/midisong.h"

#include "smfbytes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace reedtab;
using namespace reedtab::test;

namespace {

const Bytes endOfTrack = {0x00, 0xFF, 0x2F, 0x00};

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A note on one key: on at delta `start`, off `length` ticks later.
Bytes note(uint8_t channel, uint8_t key, uint8_t start, uint8_t length) {
    return {start,  static_cast<uint8_t>(0x90 | channel), key, 0x40,
            length, static_cast<uint8_t>(0x80 | channel), key, 0x00};
}

const MidiEvent* firstOfKind(const MidiTrack& track, int kind) {
    for (const auto& e : track.events)
        if (e->kind() == kind)
            return e.get();
    return nullptr;
}

} // namespace

TEST(ReaderHeader, ResultCodesForBadHeaders) {
    MidiSong song;
    EXPECT_EQ(song.loadFile("/nonexistent/file.mid"), LoadCannotOpen);
    EXPECT_FALSE(song.loading);
    Bytes notMidi = {'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96};
    EXPECT_EQ(load(song, notMidi), LoadBadHeader);
    EXPECT_EQ(load(song, Bytes{'M', 'T'}), LoadBadHeader);
    EXPECT_EQ(load(song, header(2, 1, 96)), LoadBadHeader) << "format 2";
    EXPECT_EQ(load(song, header(1, 1, 0xE728)), LoadBadHeader) << "SMPTE division";
    Bytes shortHeader = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    EXPECT_EQ(load(song, shortHeader), LoadBadHeader);
    EXPECT_TRUE(song.tracks.empty());
    EXPECT_FALSE(song.loading);
}

TEST(ReaderHeader, LongerHeaderIsSkipped) {
    Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 8, 0, 1, 0, 1, 0, 96, 0xAA, 0xBB};
    Bytes c = chunk(cat({note(0, 60, 0, 10), endOfTrack}));
    file.insert(file.end(), c.begin(), c.end());
    MidiSong song;
    ASSERT_EQ(load(song, file), LoadOk);
    EXPECT_EQ(song.division, 96);
    ASSERT_EQ(song.tracks.size(), 1u);
    EXPECT_EQ(song.tracks[0]->channels, std::vector<uint8_t>{0});
}

TEST(ReaderHeader, HeaderWithoutTracksGivesOneWritableTrack) {
    MidiSong song;
    ASSERT_EQ(load(song, header(1, 0, 480)), LoadOk);
    ASSERT_EQ(song.tracks.size(), 1u);
    EXPECT_EQ(kinds(*song.tracks[0]), (std::vector<int>{KindTimeSignature, KindEndOfTrack}));
    ASSERT_EQ(song.timeSignatureList.size(), 1u);
    EXPECT_EQ(song.format, 1);
}

TEST(ReaderHeader, TooManyDeclaredTracksAreCutAt128) {
    Bytes file = header(1, 200, 96);
    for (int i = 0; i < 200; ++i) {
        Bytes c = chunk(endOfTrack);
        file.insert(file.end(), c.begin(), c.end());
    }
    MidiSong song;
    ASSERT_EQ(load(song, file), LoadOk);
    EXPECT_EQ(song.tracks.size(), 128u);
    EXPECT_FALSE(song.truncated);
}

TEST(ReaderFormat0, SplitsOneTrackPerChannelInOrderOfAppearance) {
    Bytes events = cat({{0x00, 0xFF, 0x03, 0x04, 'S', 'o', 'n', 'g'},
                        {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},
                        note(0, 60, 0, 10),
                        note(9, 36, 0, 10),
                        note(1, 62, 0, 10),
                        endOfTrack});
    MidiSong song;
    ASSERT_EQ(load(song, smf(0, 96, {events})), LoadOk);
    EXPECT_EQ(song.format, 1);
    ASSERT_EQ(song.tracks.size(), 4u);
    EXPECT_EQ(song.tracks[0]->name, "Song");
    EXPECT_EQ(song.tracks[1]->channels, std::vector<uint8_t>{0});
    EXPECT_EQ(song.tracks[2]->channels, std::vector<uint8_t>{9});
    EXPECT_EQ(song.tracks[3]->channels, std::vector<uint8_t>{1});
    for (const auto& track : song.tracks) {
        EXPECT_EQ(track->last()->kind(), KindEndOfTrack);
        for (const auto& e : track->events)
            EXPECT_EQ(e->track, track.get());
    }
    EXPECT_EQ(song.tracks[1]->last()->tick, 10) << "end of track at the last event's tick";
    EXPECT_EQ(song.tempoAt(0), 500000);
}

TEST(ReaderFormat0, EmptyMetaTrackIsRemoved) {
    MidiSong song;
    ASSERT_EQ(load(song, smf(0, 96, {cat({note(2, 60, 0, 10)})})), LoadOk);
    ASSERT_EQ(song.tracks.size(), 1u);
    EXPECT_EQ(song.tracks[0]->channels, std::vector<uint8_t>{2});
    EXPECT_EQ(kinds(*song.tracks[0]),
              (std::vector<int>{KindTimeSignature, KindNoteOn, KindNoteOff, KindEndOfTrack}));
    EXPECT_EQ(song.timeSignatureList.front()->track, song.tracks[0].get());
}

TEST(ReaderFormat0, TwoDeclaredTracksReadAsFormat1) {
    MidiSong song;
    ASSERT_EQ(load(song, smf(0, 96,
                             {cat({note(0, 60, 0, 10), note(1, 61, 0, 10), endOfTrack}),
                              cat({note(2, 62, 0, 10), endOfTrack})})),
              LoadOk);
    ASSERT_EQ(song.tracks.size(), 2u);
    EXPECT_EQ(song.tracks[0]->channels, (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(song.format, 1);
}

TEST(ReaderMessages, RunningStatusSurvivesMetaEvents) {
    Bytes events = {0x00, 0x90, 0x3C, 0x40, 0x05, 0xFF, 0x01, 0x02, 'h',  'i',
                    0x05, 0x3E, 0x40, 0x10, 0x80, 0x3C, 0x00, 0x00, 0x3E, 0x00};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, endOfTrack})})), LoadOk);
    const MidiTrack& t = *song.tracks[0];
    ASSERT_GE(t.size(), 4u);
    const MidiEvent* second = t.events[3].get();
    EXPECT_EQ(second->kind(), KindNoteOn);
    EXPECT_EQ(second->data1, 0x3E);
    EXPECT_EQ(second->tick, 10);
    EXPECT_EQ(t.textCount, 1);
    EXPECT_EQ(second->partner->kind(), KindNoteOff) << "note-off under running status 80";
}

TEST(ReaderMessages, ChannelsOfFormat1TrackAreAscending) {
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96,
                             {cat({note(5, 60, 0, 10), note(1, 60, 0, 10), note(3, 60, 0, 10),
                                   note(1, 61, 0, 1), endOfTrack})})),
              LoadOk);
    EXPECT_EQ(song.tracks[0]->channels, (std::vector<uint8_t>{1, 3, 5}));
}

TEST(ReaderMessages, DataByteWithoutRunningStatusIsSkipped) {
    MidiSong song;
    Bytes events = cat({{0x00, 0x40}, note(0, 60, 0, 10), endOfTrack});
    ASSERT_EQ(load(song, smf(1, 96, {events})), LoadOk);
    EXPECT_EQ(kinds(*song.tracks[0]),
              (std::vector<int>{KindTimeSignature, KindNoteOn, KindNoteOff, KindEndOfTrack}));
}

TEST(ReaderMessages, SystemCommonBytesAreBadTrackData) {
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({{0x00, 0xF2, 0x01, 0x02}, endOfTrack})})), LoadBadTrack);
    EXPECT_TRUE(song.tracks.empty());
}

TEST(ReaderMessages, OneByteMessagesAndEveryKind) {
    Bytes events = {0x00, 0xC0, 0x16, 0x00, 0xD0, 0x20, 0x00, 0xA0, 0x3C,
                    0x10, 0x00, 0xB0, 0x07, 0x64, 0x00, 0xE0, 0x00, 0x40};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, endOfTrack})})), LoadOk);
    EXPECT_EQ(kinds(*song.tracks[0]),
              (std::vector<int>{KindTimeSignature, KindProgram, KindChannelPressure, KindAftertouch,
                                KindController, KindPitchWheel, KindEndOfTrack}));
    EXPECT_EQ(song.tracks[0]->events[1]->data1, 0x16);
    EXPECT_EQ(song.tracks[0]->events[1]->data2, 0);
}

TEST(ReaderMessages, MetaEventsFillTheSongLists) {
    Bytes events = {0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08, 0x00,
                    0xFF, 0x59, 0x02, 0xFD, 0x01, 0x00, 0xFF, 0x05, 0x02,
                    'l',  'a',  0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 480, {cat({events, note(0, 60, 0x60, 0x60), endOfTrack})})),
              LoadOk);
    EXPECT_EQ(song.keyName, "Ebm");
    EXPECT_EQ(song.tracks[0]->lyricCount, 1);
    ASSERT_EQ(song.timeSignatureList.size(), 1u) << "no default before a signature at 0";
    EXPECT_EQ(song.timeSignatureAt(0).numerator, 3);
    EXPECT_EQ(song.tempoAt(1), 1000000);
    EXPECT_EQ(song.length, 0xC0);
    EXPECT_FALSE(song.barTable.empty());
}

TEST(ReaderMessages, TwoTrackNamesMerge) {
    Bytes events = {0x00, 0xFF, 0x03, 0x01, 'A', 0x00, 0xFF, 0x03, 0x01, 'B'};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, endOfTrack})})), LoadOk);
    const MidiTrack& t = *song.tracks[0];
    EXPECT_EQ(t.name, "A - B");
    int names = 0;
    for (const auto& e : t.events)
        names += e->kind() == KindTrackName;
    EXPECT_EQ(names, 1);
    EXPECT_STREQ(firstOfKind(t, KindTrackName)->text(), "A - B");
}

TEST(ReaderMessages, DefaultTimeSignatureGoesAfterTickZeroNames) {
    Bytes events = {0x00, 0xFF, 0x03, 0x01, 'A',  0x00, 0xFF, 0x01, 0x01, 'T',  0x00, 0xFF, 0x51,
                    0x03, 0x07, 0xA1, 0x20, 0x83, 0x60, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 480, {cat({events, note(0, 60, 0, 10), endOfTrack})})), LoadOk);
    EXPECT_EQ(kinds(*song.tracks[0]),
              (std::vector<int>{KindTrackName, KindText, KindTimeSignature, KindTempo,
                                KindTimeSignature, KindNoteOn, KindNoteOff, KindEndOfTrack}));
    ASSERT_EQ(song.timeSignatureList.size(), 2u);
    EXPECT_EQ(song.timeSignatureList[0]->tick, 0);
    EXPECT_EQ(song.timeSignatureList[1]->tick, 480);
}

TEST(ReaderSysEx, CompleteMessage) {
    Bytes events = {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, endOfTrack})})), LoadOk);
    const MidiEvent* e = firstOfKind(*song.tracks[0], KindSysEx);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->dataLength, 6u);
    EXPECT_EQ(e->bytes(), std::string("\xF0\x7E\x7F\x09\x01\xF7", 6));
    EXPECT_EQ(e->metaType, 0);
}

TEST(ReaderSysEx, ContinuationPacketsJoinAtTheTickOfTheLast) {
    Bytes events = {0x00, 0xF0, 0x03, 0x43, 0x12, 0x00, 0x10, 0xF7, 0x02, 0x43, 0xF7};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, endOfTrack})})), LoadOk);
    const MidiEvent* e = firstOfKind(*song.tracks[0], KindSysEx);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->bytes(), std::string("\xF0\x43\x12\x00\x43\xF7", 6));
    EXPECT_EQ(e->tick, 0x10);
    EXPECT_EQ(e->data[6], 0);
}

TEST(ReaderSysEx, EscapeWithoutOpenMessageIsStrange) {
    Bytes events = {0x00, 0xF7, 0x02, 0xF3, 0x01};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, endOfTrack})})), LoadOk);
    const MidiEvent* e = firstOfKind(*song.tracks[0], KindStrangeSysEx);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->dataLength, 2u);
    EXPECT_EQ(e->bytes(), std::string("\xF3\x01", 2));
}

TEST(ReaderSysEx, ChannelMessageWhileContinuationPendingFails) {
    Bytes events = {0x00, 0xF0, 0x02, 0x43, 0x12, 0x00, 0x90, 0x3C, 0x40};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, endOfTrack})})), LoadBadTrack);
    EXPECT_EQ(song.errorText, "Bad file - expected continuation of system exclusive");
    EXPECT_TRUE(song.tracks.empty());
}

TEST(ReaderDamage, LengthBeyondTheFileIsBadDataNotAnAllocation) {
    MidiSong song;
    Bytes meta = {0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F, 'x'};
    EXPECT_EQ(load(song, smf(1, 96, {meta})), LoadBadTrack);
    Bytes sysex = {0x00, 0xF0, 0x8F, 0xFF, 0xFF, 0x7F, 0x01};
    EXPECT_EQ(load(song, smf(1, 96, {sysex})), LoadBadTrack);
    Bytes escape = {0x00, 0xF7, 0x8F, 0xFF, 0xFF, 0x7F, 0x01};
    EXPECT_EQ(load(song, smf(1, 96, {escape})), LoadBadTrack);
}

TEST(ReaderDamage, ChunkLengthBeyondTheFileIsTruncation) {
    Bytes file = header(1, 1, 96);
    Bytes events = cat({note(0, 60, 0, 10), endOfTrack});
    Bytes c = {'M', 'T', 'r', 'k', 0x00, 0x10, 0x00, 0x00};
    c.insert(c.end(), events.begin(), events.end());
    file.insert(file.end(), c.begin(), c.end());
    MidiSong song;
    ASSERT_EQ(load(song, file), LoadOk);
    EXPECT_TRUE(song.truncated);
    EXPECT_EQ(song.tracks[0]->size(), 4u);
}

TEST(ReaderDamage, EndInsideADeltaKeepsWhatWasRead) {
    Bytes events = cat({note(0, 60, 0, 10), {0x81}});
    Bytes file = header(1, 2, 96);
    Bytes c = chunk(events);
    file.insert(file.end(), c.begin(), c.end());
    MidiSong song;
    ASSERT_EQ(load(song, file), LoadOk);
    EXPECT_TRUE(song.truncated);
    EXPECT_EQ(song.tracks.size(), 1u) << "the missing second chunk is not made up";
    EXPECT_EQ(song.tracks[0]->size(), 3u);
    EXPECT_STREQ(MidiSong::truncationWarning,
                 "Warning:\nMidi file looks truncated\nLoading as much as possible");
}

TEST(ReaderDamage, EndInsideAMessageKeepsTheMessagesBefore) {
    Bytes file = header(1, 1, 96);
    Bytes c = chunk(cat({note(0, 60, 0, 10), endOfTrack}));
    c.resize(c.size() - 2);
    file.insert(file.end(), c.begin(), c.end());
    MidiSong song;
    ASSERT_EQ(load(song, file), LoadOk);
    EXPECT_TRUE(song.truncated);
    EXPECT_EQ(kinds(*song.tracks[0]),
              (std::vector<int>{KindTimeSignature, KindNoteOn, KindNoteOff}))
        << "the note is whole, the end of track was cut";
}

TEST(ReaderDamage, PayloadCutByTheEndOfTheFileIsTruncationNotBadData) {
    // Each message's length fits its chunk, whose length still counts the bytes that are gone.
    for (Bytes message : {Bytes{0x00, 0xFF, 0x01, 0x05, 'v', 'e'}, Bytes{0x00, 0xF0, 0x04, 0x7E},
                          Bytes{0x00, 0xF7, 0x03, 0x01}}) {
        Bytes events = cat({note(0, 60, 0, 10), message});
        Bytes file = header(1, 1, 96);
        Bytes c = {'M', 'T', 'r', 'k'};
        append32(c, static_cast<uint32_t>(events.size() + 8));
        c.insert(c.end(), events.begin(), events.end());
        file.insert(file.end(), c.begin(), c.end());
        MidiSong song;
        ASSERT_EQ(load(song, file), LoadOk);
        EXPECT_TRUE(song.truncated);
        EXPECT_EQ(song.tracks[0]->size(), 3u) << "the note and the default time signature";
    }
}

TEST(ReaderDamage, AlienChunkIsBadTrackData) {
    Bytes file = header(1, 1, 96);
    Bytes junk = {'X', 'F', 'I', 'H', 0, 0, 0, 1, 0};
    file.insert(file.end(), junk.begin(), junk.end());
    MidiSong song;
    EXPECT_EQ(load(song, file), LoadBadTrack);
}

TEST(ReaderDamage, HugeDeltasDoNotOverflowTheTick) {
    Bytes events = {0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x40, 0xFF, 0xFF, 0xFF, 0x7F,
                    0x80, 0x3C, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x2F, 0x00};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 1, {events})), LoadOk);
    EXPECT_EQ(song.tracks[0]->events[1]->tick, 0x0FFFFFFF);
    EXPECT_EQ(song.length, 3 * 0x0FFFFFFF);
    // Every bar up to the end exists, as one run of 4/4 bars of 4 ticks at division 1.
    EXPECT_EQ(song.barTable.size(), size_t{(3 * 0x0FFFFFFF + 3) / 4});
    EXPECT_EQ(song.barTable.runCount(), 1u);
    BarBeatTick end = song.tickToBarBeatTick(song.length);
    EXPECT_EQ(end.bar, 3 * 0x0FFFFFFF / 4 + 1);
    EXPECT_EQ(end.beat, 3 * 0x0FFFFFFF % 4 + 1);
}

TEST(ReaderDamage, TinyFileEndingAtTickTwoBillionReadsAndDumpsAtTheCostOfItsContent) {
    // A few hundred bytes: forty notes near the start, then one note two billion ticks later.
    Bytes events;
    for (int i = 0; i < 40; ++i) {
        Bytes n = note(0, static_cast<uint8_t>(60 + i % 12), 10, 20);
        events.insert(events.end(), n.begin(), n.end());
    }
    const int32_t end = 2000000000;
    const uint32_t delta = end - 1 - 40 * 30;
    for (int shift = 28; shift > 0; shift -= 7)
        events.push_back(static_cast<uint8_t>(0x80 | ((delta >> shift) & 0x7F)));
    events.push_back(static_cast<uint8_t>(delta & 0x7F));
    events.insert(events.end(), {0x90, 0x40, 0x50, 0x01, 0x80, 0x40, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    Bytes file = smf(1, 96, {events});
    ASSERT_LT(file.size(), 400u);
    MidiSong song;
    ASSERT_EQ(load(song, file), LoadOk);
    EXPECT_EQ(song.length, end);
    EXPECT_EQ(song.barTable.runCount(), 1u);
    EXPECT_EQ(song.barTable.size(), size_t{(end + 383) / 384});
    const int32_t lastNote = end - 1;
    BarBeatTick position = song.tickToBarBeatTick(lastNote);
    EXPECT_EQ(position.bar, lastNote / 384 + 1);
    EXPECT_EQ(position.beat, lastNote % 384 / 96 + 1);
    EXPECT_EQ(position.tick, lastNote % 96);
    EXPECT_EQ(song.barBeatTickToTick(position.bar, position.beat, position.tick), lastNote);
    std::string dump = song.dumpText();
    char line[64];
    std::snprintf(line, sizeof line, " %03d:%02d:%03d Note On", position.bar, position.beat,
                  position.tick);
    EXPECT_NE(dump.find(line), std::string::npos) << dump.substr(dump.size() - 400);
}

TEST(ReaderProgress, ReportsRisingPercentagesEndingAt100) {
    Bytes events;
    for (int i = 0; i < 500; ++i) {
        Bytes n = note(0, 60, 1, 1);
        events.insert(events.end(), n.begin(), n.end());
    }
    events.insert(events.end(), endOfTrack.begin(), endOfTrack.end());
    Bytes file = smf(1, 96, {events});
    std::vector<int> seen;
    MidiSong song;
    ASSERT_EQ(song.loadMemory(file.data(), file.size(), [&](int p) { seen.push_back(p); }), 0);
    ASSERT_GT(seen.size(), 10u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);
    EXPECT_LT(seen.front(), 5);
}

TEST(ReaderFile, PathIsKeptAndLoadingClears) {
    std::string dir = scratchDir("reader-file");
    std::string path = dir + "/a.mid";
    Bytes file = smf(1, 120, {cat({note(0, 60, 0, 10), endOfTrack})});
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    MidiSong song;
    ASSERT_EQ(song.loadFile(path), LoadOk);
    EXPECT_EQ(song.path, path);
    EXPECT_FALSE(song.loading);
    EXPECT_EQ(song.division, 120);
}

TEST(Pairing, OverlappingNotesOfOneKeyPairLastInFirstOut) {
    Bytes events = {0x00, 0x90, 0x3C, 0x40, 0x64, 0x90, 0x3C, 0x40,
                    0x64, 0x80, 0x3C, 0x00, 0x64, 0x80, 0x3C, 0x00};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, endOfTrack})})), LoadOk);
    const MidiTrack& t = *song.tracks[0];
    const MidiEvent* first = t.events[1].get();
    const MidiEvent* second = t.events[2].get();
    EXPECT_EQ(first->overlapMark, 1);
    EXPECT_EQ(second->overlapMark, 1);
    EXPECT_EQ(second->duration, 100);
    EXPECT_EQ(first->duration, 300);
    EXPECT_EQ(second->partner->tick, 200);
    EXPECT_EQ(first->partner->tick, 300);
    EXPECT_EQ(first->partner->partner, first);
    EXPECT_EQ(song.overlappedCount, 1);
}

TEST(Pairing, StrayNoteOffDropsTheNextNoteOnWithAReport) {
    Bytes events = {0x10, 0x80, 0x3C, 0x00, 0x10, 0x90, 0x3C, 0x40, 0x10, 0x80, 0x3C, 0x00};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, endOfTrack})})), LoadOk);
    EXPECT_EQ(kinds(*song.tracks[0]), (std::vector<int>{KindTimeSignature, KindEndOfTrack}));
    EXPECT_EQ(song.discardedCount, 1);
    EXPECT_EQ(song.correctedCount, 0) << "both note-offs are dropped by the balance, not corrected";
    EXPECT_EQ(song.pairingReport, " extra notes discarded chan 1 note 60 (32-16)");
}

TEST(Pairing, ZeroLengthNoteIsRemovedWithItsOff) {
    Bytes events = {0x00, 0x90, 0x3C, 0x40, 0x00, 0x90, 0x3C, 0x00};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, note(0, 62, 0, 5), endOfTrack})})), LoadOk);
    EXPECT_EQ(song.correctedCount, 2);
    EXPECT_EQ(song.tracks[0]->size(), 4u);
    for (MidiEvent* e : song.mergedEvents)
        EXPECT_NE(e->data1, 0x3C) << "removed events must leave the merged list";
}

TEST(Pairing, UnfinishedNoteIsRemovedAndReported) {
    Bytes events = {0x00, 0x92, 0x40, 0x40};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, note(0, 62, 0, 5), endOfTrack})})), LoadOk);
    EXPECT_EQ(song.unfinishedCount, 1);
    EXPECT_EQ(song.pairingReport, "\n chan 3 note 64 (x1)");
    EXPECT_EQ(song.tracks[0]->size(), 4u);
}

TEST(Pairing, VelocityZeroNoteOnClosesANote) {
    Bytes events = {0x00, 0x90, 0x3C, 0x40, 0x30, 0x3C, 0x00};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, endOfTrack})})), LoadOk);
    const MidiEvent* on = song.tracks[0]->events[1].get();
    EXPECT_EQ(on->duration, 0x30);
    ASSERT_NE(on->partner, nullptr);
    EXPECT_EQ(on->partner->kind(), KindNoteOn);
    EXPECT_EQ(on->partner->data2, 0);
}

TEST(Pairing, ReportNeverGrowsPastItsCapacity) {
    MidiTrack track;
    for (int i = 0; i < 300; ++i) {
        auto off = makeChannelEvent(0x8F, 127, 0);
        off->tick = 2000000000;
        track.append(std::move(off));
        auto on = makeChannelEvent(0x9F, 127, 1);
        on->tick = 2000000001;
        track.append(std::move(on));
    }
    std::string report;
    PairingCounts counts = track.pairNotes(&report, 4096, true, nullptr);
    EXPECT_EQ(counts.discarded, 300);
    EXPECT_LE(report.size(), 4095u);
    EXPECT_GT(report.size(), 4000u);
    EXPECT_TRUE(track.empty());
}

TEST(Pairing, RepairAfterAnEditRebuildsLinks) {
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({note(0, 60, 0, 10), note(0, 60, 10, 10), endOfTrack})})),
              LoadOk);
    MidiTrack& t = *song.tracks[0];
    MidiEvent* secondOn = t.events[3].get();
    song.deleteEvent(t.events[1].get());
    song.repairAllTracks();
    EXPECT_EQ(secondOn->duration, 10);
    EXPECT_EQ(song.correctedCount, 0);
    EXPECT_EQ(t.size(), 4u);
}

TEST(ReaderMergedList, MatchesInsertingEveryEventInReadingOrder) {
    // Several tracks whose events interleave, with equal ticks across tracks and ticks large
    // enough to need every digit of the sort.
    uint32_t seed = 7;
    auto random = [&seed](uint32_t range) {
        seed = seed * 1103515245 + 12345;
        return (seed >> 16) % range;
    };
    std::vector<Bytes> tracks;
    for (int t = 0; t < 5; ++t) {
        Bytes events;
        for (int i = 0; i < 300; ++i) {
            uint32_t delta = random(4) == 0 ? random(3) * 1000000 : random(3) * 10;
            Bytes d;
            for (uint32_t v = delta, first = 1; first || v; first = 0) {
                d.insert(d.begin(), static_cast<uint8_t>((v & 0x7F) | (first ? 0 : 0x80)));
                v >>= 7;
            }
            events.insert(events.end(), d.begin(), d.end());
            Bytes message = {static_cast<uint8_t>(0xB0 | t), static_cast<uint8_t>(i & 0x7F),
                             static_cast<uint8_t>(t)};
            events.insert(events.end(), message.begin(), message.end());
        }
        events.insert(events.end(), endOfTrack.begin(), endOfTrack.end());
        tracks.push_back(events);
    }
    Bytes file = header(1, 5, 96);
    for (const Bytes& t : tracks) {
        Bytes c = chunk(t);
        file.insert(file.end(), c.begin(), c.end());
    }
    MidiSong song;
    ASSERT_EQ(load(song, file), LoadOk);
    MergedEventList expected;
    for (const auto& track : song.tracks)
        for (const auto& e : track->events)
            expected.insert(e.get());
    ASSERT_EQ(song.mergedEvents.size(), expected.size());
    EXPECT_GT(song.length, 1 << 22);
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(song.mergedEvents[i], expected[i]) << "position " << i;
}

TEST(ReaderMergedList, FollowsTheTracksAfterPairingTakesBrokenNotesOut) {
    // Track counts that fill the merge's tree, leave it ragged or give it one leaf; tracks that
    // hold no playable event; meta events that stay out of the list between the notes; and
    // broken notes that pairing removes before the list is built.
    for (int trackCount : {1, 2, 7, 11}) {
        SCOPED_TRACE(trackCount);
        uint32_t seed = 11 + static_cast<uint32_t>(trackCount);
        auto random = [&seed](uint32_t range) {
            seed = seed * 1103515245 + 12345;
            return (seed >> 16) % range;
        };
        Bytes file = header(1, trackCount, 96);
        for (int t = 0; t < trackCount; ++t) {
            Bytes events;
            int count = t % 4 == 3 ? 0 : 200;
            for (int i = 0; i < count; ++i) {
                events.push_back(static_cast<uint8_t>(random(3) * 5));
                uint8_t key = static_cast<uint8_t>(60 + random(4));
                switch (random(5)) {
                case 0: // a track name, not in the list
                    events.insert(events.end(), {0xFF, 0x03, 0x01, 'n'});
                    break;
                case 1: // a note-off that may close nothing
                    events.insert(events.end(), {static_cast<uint8_t>(0x80 | t % 16), key, 0});
                    break;
                default:
                    events.insert(events.end(), {static_cast<uint8_t>(0x90 | t % 16), key, 90});
                    break;
                }
            }
            events.insert(events.end(), endOfTrack.begin(), endOfTrack.end());
            Bytes c = chunk(events);
            file.insert(file.end(), c.begin(), c.end());
        }
        MidiSong song;
        ASSERT_EQ(load(song, file), LoadOk);
        EXPECT_GT(song.discardedCount + song.correctedCount + song.unfinishedCount, 0);
        MergedEventList expected;
        for (const auto& track : song.tracks)
            for (const auto& e : track->events)
                expected.insert(e.get());
        ASSERT_EQ(song.mergedEvents.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(song.mergedEvents[i], expected[i]) << "position " << i;
    }
}

TEST(ReaderFormat0, LengthCoversTheEndOfTrackAddedAfterMetaEvents) {
    // Found by fuzzing: a meta-only track got its end of track at the last meta event's tick,
    // past the length taken before it was added.
    Bytes events = {0x00, 0xFF, 0x03, 0x01, 'A', 0x83, 0x60, 0xFF, 0x02, 0x01, 'c'};
    MidiSong song;
    ASSERT_EQ(load(song, smf(0, 96, {events})), LoadOk);
    ASSERT_EQ(song.tracks.size(), 1u);
    EXPECT_EQ(song.tracks[0]->last()->kind(), KindEndOfTrack);
    EXPECT_EQ(song.tracks[0]->last()->tick, 480);
    EXPECT_EQ(song.length, 480);
    EXPECT_EQ(song.tickToBarBeatTick(480).result, 0);
}

TEST(ReaderSysEx, EmptyEscapePacketReadsWithoutCopyingNothingFromNowhere) {
    // Found by fuzzing (undefined behaviour: a null destination for an empty copy).
    Bytes events = {0x00, 0xF7, 0x00, 0x00, 0xFF, 0x7F, 0x00};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {cat({events, endOfTrack})})), LoadOk);
    const MidiEvent* e = firstOfKind(*song.tracks[0], KindStrangeSysEx);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->dataLength, 0u);
    EXPECT_EQ(firstOfKind(*song.tracks[0], KindMeta)->dataLength, 0u);
}

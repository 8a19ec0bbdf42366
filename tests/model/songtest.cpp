#include "model/midisong.h"

#include "smfbytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

using namespace reedtab;
using reedtab::test::kinds;
using reedtab::test::ticks;

namespace {

// A song made in memory: division 480, `trackCount` empty tracks.
void makeSong(MidiSong& song, int trackCount = 1) {
    song.clear();
    song.format = 1;
    song.division = 480;
    for (int i = 0; i < trackCount; ++i) {
        song.tracks.push_back(std::make_unique<MidiTrack>());
        song.tracks.back()->index = i;
    }
}

void addTimeSignature(MidiSong& song, int32_t tick, int num, int den) {
    auto ts = makeTimeSignatureEvent(num, den);
    TimeSignatureEvent* raw = ts.get();
    song.addEvent(tick, 0, std::move(ts));
    song.timeSignatureList.push_back(raw);
}

MidiEvent* addNote(MidiSong& song, int track, int32_t tick, int32_t length, int key = 60) {
    auto on = makeChannelEvent(0x90, static_cast<uint8_t>(key), 100);
    auto off = makeChannelEvent(0x80, static_cast<uint8_t>(key), 0);
    MidiEvent* onRaw = on.get();
    MidiEvent* offRaw = off.get();
    song.addEvent(tick, track, std::move(on));
    song.addEvent(tick + length, track, std::move(off));
    onRaw->partner = offRaw;
    offRaw->partner = onRaw;
    onRaw->duration = length;
    return onRaw;
}

bool mergedIsSorted(const MidiSong& song) {
    for (size_t i = 1; i < song.mergedEvents.size(); ++i)
        if (song.mergedEvents[i - 1]->tick > song.mergedEvents[i]->tick)
            return false;
    return true;
}

} // namespace

TEST(BarTable, ThreeFourBarsAndPositions) {
    MidiSong song;
    makeSong(song);
    addTimeSignature(song, 0, 3, 4);
    song.length = 4000;
    song.rebuildBars();
    ASSERT_GE(song.barTable.size(), 2u);
    EXPECT_EQ(song.barTable[1].startTick, 1440);
    BarBeatTick p = song.tickToBarBeatTick(1440);
    EXPECT_EQ(p.bar, 2);
    EXPECT_EQ(p.beat, 1);
    EXPECT_EQ(p.tick, 0);
    EXPECT_EQ(p.result, 0);
    p = song.tickToBarBeatTick(1439);
    EXPECT_EQ(p.bar, 1);
    EXPECT_EQ(p.beat, 3);
    EXPECT_EQ(p.tick, 479);
}

TEST(BarTable, SixEightBarIsCountedInQuarterBeats) {
    MidiSong song;
    makeSong(song);
    addTimeSignature(song, 0, 6, 8);
    song.length = 5000;
    song.rebuildBars();
    EXPECT_EQ(song.barTable[1].startTick, 1440);
    BarBeatTick p = song.tickToBarBeatTick(720);
    EXPECT_EQ(p.bar, 1);
    EXPECT_EQ(p.beat, 2);
    EXPECT_EQ(p.tick, 240);
}

TEST(BarTable, SignatureInsideABarCutsItShort) {
    MidiSong song;
    makeSong(song);
    addTimeSignature(song, 0, 4, 4);
    addTimeSignature(song, 1000, 3, 4);
    song.length = 5000;
    song.rebuildBars();
    ASSERT_GE(song.barTable.size(), 3u);
    EXPECT_EQ(song.barTable[0].startTick, 0);
    EXPECT_EQ(song.barTable[1].startTick, 1000);
    EXPECT_EQ(song.barTable[1].timeSignatureIndex, 1);
    EXPECT_EQ(song.barTable[2].startTick, 2440);
}

TEST(BarTable, BarsStopAtTheSongLengthAndOutsideTicksFail) {
    MidiSong song;
    makeSong(song);
    addTimeSignature(song, 0, 4, 4);
    song.length = 3840;
    song.rebuildBars();
    EXPECT_EQ(song.barTable.size(), 2u);
    BarBeatTick p = song.tickToBarBeatTick(3841);
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(formatBarBeatTick(p), "000:00:000");
    EXPECT_EQ(song.tickToBarBeatTick(-1).result, -1);
    EXPECT_EQ(formatBarBeatTick(song.tickToBarBeatTick(3840)), "002:05:000");
}

TEST(BarTable, ZeroNumeratorDoesNotHang) {
    MidiSong song;
    makeSong(song);
    addTimeSignature(song, 0, 0, 4);
    song.length = 100000;
    song.rebuildBars();
    EXPECT_FALSE(song.barTable.empty());
    EXPECT_LE(song.barTable.size(), 100000u / 4 + 1);
}

TEST(BarTable, BarBeatTickToTick) {
    MidiSong song;
    makeSong(song);
    addTimeSignature(song, 0, 4, 4);
    song.length = 4000;
    song.rebuildBars();
    EXPECT_EQ(song.barBeatTickToTick(2, 2, 10), 1920 + 480 + 10);
    EXPECT_EQ(song.barBeatTickToTick(0, 0, 5), 5) << "bar 0 and beat 0 count as 1";
    EXPECT_EQ(song.barBeatTickToTick(10, 1, 0), 0) << "bar past the table";
    EXPECT_EQ(song.barBeatTickToTick(3, 4, 400), 3999) << "limited to length - 1";
    song.length = 0;
    EXPECT_EQ(song.barBeatTickToTick(1, 2, 0), 0);
}

TEST(BarTable, FormatsPositions) {
    EXPECT_EQ(formatBarBeatTick({1, 1, 0, 0}), "001:01:000");
    EXPECT_EQ(formatBarBeatTick({12, 3, 479, 0}), "012:03:479");
}

TEST(TempoMap, DefaultsAndChangeTakesEffectAfterItsTick) {
    MidiSong song;
    makeSong(song);
    EXPECT_EQ(song.tempoAt(0), 500000);
    song.addEvent(0, 0, makeTempoEvent(400000));
    song.addEvent(960, 0, makeTempoEvent(600000));
    EXPECT_EQ(song.tempoAt(960), 400000);
    EXPECT_EQ(song.tempoAt(961), 600000);
    EXPECT_EQ(song.tempoAt(0), 400000);
    EXPECT_EQ(song.tempoAt(5000), 600000);
    EXPECT_EQ(song.tempoAt(10), 400000) << "lookup restarts after a later one";
}

TEST(TempoMap, MicrosecondsAddEachStretchAtItsOwnTempo) {
    MidiSong song;
    makeSong(song);
    song.division = 480;
    EXPECT_DOUBLE_EQ(song.microsecondsAt(960), 1000000.0) << "two quarters at 120 bpm";
    song.addEvent(480, 0, makeTempoEvent(1000000));
    song.addEvent(960, 0, makeTempoEvent(0));
    // Half a second to tick 480, then a second a quarter; the tempo of 0 changes nothing.
    EXPECT_DOUBLE_EQ(song.microsecondsAt(480), 500000.0);
    EXPECT_DOUBLE_EQ(song.microsecondsAt(960), 1500000.0);
    EXPECT_DOUBLE_EQ(song.microsecondsAt(1440), 2500000.0);
    EXPECT_DOUBLE_EQ(song.microsecondsAt(0), 0.0);
}

TEST(TempoMap, SingleLateTempo) {
    MidiSong song;
    makeSong(song);
    song.addEvent(960, 0, makeTempoEvent(300000));
    EXPECT_EQ(song.tempoAt(500), 500000);
    EXPECT_EQ(song.tempoAt(960), 300000);
}

TEST(TempoMap, AddEventKeepsTheTempoListInTickOrder) {
    MidiSong song;
    makeSong(song, 2);
    song.addEvent(960, 0, makeTempoEvent(300000));
    song.addEvent(480, 1, makeTempoEvent(200000));
    ASSERT_EQ(song.tempoList.size(), 2u);
    EXPECT_EQ(song.tempoList[0]->tick, 480);
    EXPECT_EQ(song.tempoList[1]->tick, 960);
}

TEST(TimeSignatures, DefaultAndLookup) {
    MidiSong song;
    makeSong(song);
    EXPECT_EQ(song.timeSignatureAt(0).numerator, 4);
    EXPECT_EQ(song.timeSignatureAt(0).denominator, 4);
    addTimeSignature(song, 0, 3, 4);
    addTimeSignature(song, 1440, 6, 8);
    EXPECT_EQ(song.timeSignatureAt(1439).numerator, 3);
    EXPECT_EQ(song.timeSignatureAt(1440).numerator, 6);
    EXPECT_EQ(song.timeSignatureAt(1440).denominator, 8);
}

TEST(AddEvent, OrderWithinOneTick) {
    MidiSong song;
    makeSong(song);
    song.addEvent(0, 0, makeEndOfTrackEvent());
    song.addEvent(0, 0, makeChannelEvent(0x90, 60, 100));
    song.addEvent(0, 0, makeTempoEvent(500000));
    uint8_t sysex[] = {0xF0, 0x01, 0xF7};
    song.addEvent(0, 0, makeSysExEvent(sysex, 3));
    song.addEvent(0, 0, makeTrackNameEvent("Lead"));
    EXPECT_EQ(kinds(*song.tracks[0]),
              (std::vector<int>{KindTrackName, KindTempo, KindSysEx, KindNoteOn, KindEndOfTrack}));
}

TEST(AddEvent, NeverAfterTheEndOfTrackAndRaisesLength) {
    MidiSong song;
    makeSong(song);
    addTimeSignature(song, 0, 4, 4);
    song.addEvent(100, 0, makeEndOfTrackEvent());
    int position = song.addEvent(5000, 0, makeChannelEvent(0x90, 60, 100));
    EXPECT_EQ(kinds(*song.tracks[0]),
              (std::vector<int>{KindTimeSignature, KindNoteOn, KindEndOfTrack}));
    EXPECT_EQ(song.length, 5000);
    EXPECT_EQ(position, 1) << "after the end of track in the merged list";
    EXPECT_FALSE(song.barTable.empty()) << "bars rebuilt for the new length";
    EXPECT_EQ(song.tracks[0]->channels, std::vector<uint8_t>{0});
}

TEST(AddEvent, BadTrackIndexIsRefused) {
    MidiSong song;
    makeSong(song);
    EXPECT_EQ(song.addEvent(0, 3, makeEndOfTrackEvent()), -1);
    EXPECT_EQ(song.addEvent(0, -1, makeEndOfTrackEvent()), -1);
    EXPECT_TRUE(song.tracks[0]->empty());
    EXPECT_EQ(song.addTextEvent(5, 0, "x"), nullptr);
}

TEST(AddEvent, TrackNameGoesFirstAmongTickZeroEvents) {
    MidiSong song;
    makeSong(song);
    song.addEvent(0, 0, makeChannelEvent(0xC0, 1, 0));
    song.addEvent(0, 0, makeTextEvent("a"));
    song.setTrackName(0, "Melody");
    EXPECT_EQ(song.tracks[0]->events.front()->kind(), KindTrackName);
    EXPECT_EQ(song.tracks[0]->name, "Melody");
    EXPECT_EQ(song.tracks[0]->events.front()->dataLength, 7u);
    song.setTrackName(0, "Lead");
    EXPECT_EQ(song.tracks[0]->size(), 3u) << "the existing name event is reused";
    EXPECT_STREQ(song.tracks[0]->events.front()->text(), "Lead");
    EXPECT_EQ(song.tracks[0]->events.front()->dataLength, 5u);
}

TEST(MergedList, KeepsOnlyPlayableKindsInTickOrder) {
    MidiSong song;
    makeSong(song, 2);
    song.addEvent(10, 0, makeTimeSignatureEvent(4, 4));
    song.addEvent(10, 0, makeKeySignatureEvent(0, false));
    song.addEvent(10, 0, makeTrackNameEvent("x"));
    uint8_t c[] = {'c'};
    song.addEvent(10, 0, makeMetaEvent(2, c, 1));
    song.addEvent(10, 0, makeMetaEvent(0x7F, c, 1));
    EXPECT_TRUE(song.mergedEvents.empty());
    song.addEvent(50, 1, makeChannelEvent(0x90, 1, 1));
    song.addEvent(20, 0, makeTextEvent("t"));
    song.addEvent(50, 0, makeLyricEvent("l"));
    song.addEvent(30, 1, makeTempoEvent(1));
    song.addEvent(60, 1, makeEndOfTrackEvent());
    ASSERT_EQ(song.mergedEvents.size(), 5u);
    EXPECT_TRUE(mergedIsSorted(song));
    EXPECT_EQ(song.mergedEvents[2]->kind(), KindNoteOn) << "equal ticks keep insertion order";
    EXPECT_EQ(song.mergedEvents[3]->kind(), KindLyric);
}

TEST(MergedList, RemoveFindsEntriesInBothDirections) {
    MidiSong song;
    makeSong(song);
    std::vector<MidiEvent*> events;
    for (int i = 0; i < 20; ++i) {
        auto e = makeChannelEvent(0xB0, 1, 1);
        events.push_back(e.get());
        song.addEvent(i * 10, 0, std::move(e));
    }
    song.mergedEvents.remove(events[15]);
    song.mergedEvents.remove(events[3]);
    song.mergedEvents.remove(events[16]);
    song.mergedEvents.remove(events[0]);
    EXPECT_EQ(song.mergedEvents.size(), 16u);
    for (MidiEvent* gone : {events[15], events[3], events[16], events[0]})
        EXPECT_EQ(song.mergedEvents.indexOf(gone), -1);
    MidiEvent stranger;
    song.mergedEvents.remove(&stranger);
    EXPECT_EQ(song.mergedEvents.size(), 16u);
}

TEST(EditOperations, DeleteEventTakesItsPartnerAndIndexEntries) {
    MidiSong song;
    makeSong(song);
    MidiEvent* on = addNote(song, 0, 0, 480);
    auto tempo = makeTempoEvent(400000);
    MidiEvent* tempoRaw = tempo.get();
    song.addEvent(100, 0, std::move(tempo));
    EXPECT_EQ(song.deleteEvent(on), 0);
    EXPECT_EQ(song.tracks[0]->size(), 1u);
    EXPECT_EQ(song.mergedEvents.size(), 1u);
    EXPECT_EQ(song.deleteEvent(tempoRaw), 0);
    EXPECT_TRUE(song.tempoList.empty());
    EXPECT_TRUE(song.mergedEvents.empty());
    EXPECT_EQ(song.deleteEvent(nullptr), -1);
}

TEST(EditOperations, UnlinkHandsTheEventBack) {
    MidiSong song;
    makeSong(song);
    auto e = makeTempoEvent(300000);
    MidiEvent* raw = e.get();
    song.addEvent(10, 0, std::move(e));
    std::unique_ptr<MidiEvent> back = song.unlinkEvent(raw);
    ASSERT_EQ(back.get(), raw);
    EXPECT_TRUE(song.tracks[0]->empty());
    EXPECT_TRUE(song.mergedEvents.empty());
    EXPECT_TRUE(song.tempoList.empty());
    song.addEvent(20, 0, std::move(back));
    EXPECT_EQ(song.tempoList.size(), 1u);
}

TEST(EditOperations, MoveEventKeepsTrackAndMergedOrder) {
    MidiSong song;
    makeSong(song);
    std::vector<MidiEvent*> events;
    for (int i = 0; i < 5; ++i) {
        auto e = makeChannelEvent(0xB0, static_cast<uint8_t>(i), 0);
        events.push_back(e.get());
        song.addEvent(i * 100, 0, std::move(e));
    }
    song.addEvent(500, 0, makeEndOfTrackEvent());
    song.moveEvent(events[0], 250);
    EXPECT_EQ(ticks(*song.tracks[0]), (std::vector<int32_t>{100, 200, 250, 300, 400, 500}));
    song.moveEvent(events[4], 50);
    EXPECT_EQ(ticks(*song.tracks[0]), (std::vector<int32_t>{50, 100, 200, 250, 300, 500}));
    EXPECT_TRUE(mergedIsSorted(song));
    song.moveEvent(events[1], 9000);
    EXPECT_EQ(song.tracks[0]->last()->kind(), KindEndOfTrack) << "never moved past the end";
    song.moveEvent(events[2], 210);
    EXPECT_EQ(events[2]->tick, 210) << "a move that keeps the order changes only the tick";
}

TEST(EditOperations, ShiftLaterKeepsNotesThatStartBeforeAndTickZeroMeta) {
    MidiSong song;
    makeSong(song);
    song.addEvent(0, 0, makeTempoEvent(500000));
    song.addEvent(0, 0, makeTextEvent("start"));
    MidiEvent* early = addNote(song, 0, 0, 1000);
    MidiEvent* late = addNote(song, 0, 600, 100);
    song.shiftEventsLater(500, 240);
    EXPECT_EQ(song.tempoList[0]->tick, 0);
    EXPECT_EQ(early->tick, 0);
    EXPECT_EQ(early->partner->tick, 1000) << "off of a note that starts earlier stays";
    EXPECT_EQ(late->tick, 840);
    EXPECT_EQ(late->partner->tick, 940);
    song.shiftEventsLater(0, 10);
    EXPECT_EQ(song.tempoList[0]->tick, 0) << "tick-0 tempo stays";
    EXPECT_EQ(song.tracks[0]->events[1]->tick, 10) << "tick-0 text moves";
    song.shiftEventsEarlier(840, 100);
    EXPECT_EQ(late->tick, 750);
}

TEST(EditOperations, FindFreeChannelSkipsDrums) {
    MidiSong song;
    makeSong(song, 2);
    EXPECT_EQ(song.findFreeChannel(), 0);
    for (int c = 0; c < 9; ++c)
        song.tracks[c % 2]->addChannel(c);
    EXPECT_EQ(song.findFreeChannel(), 10);
    for (int c = 10; c < 16; ++c)
        song.tracks[0]->addChannel(c);
    EXPECT_EQ(song.findFreeChannel(), 15);
}

TEST(EditOperations, DeleteTrack) {
    MidiSong song;
    makeSong(song, 3);
    EXPECT_EQ(song.trackIndexOf(song.tracks[2].get()), 2);
    song.addEvent(0, 0, makeTempoEvent(500000));
    addTimeSignature(song, 0, 4, 4);
    addNote(song, 0, 0, 100);
    song.setTrackName(0, "Conductor");
    addNote(song, 1, 0, 100);
    auto ts = makeTimeSignatureEvent(3, 4);
    song.timeSignatureList.push_back(ts.get());
    song.addEvent(960, 1, std::move(ts));
    song.addEvent(100, 1, makeEndOfTrackEvent());

    EXPECT_EQ(song.deleteTrack(7), -1);
    EXPECT_EQ(song.deleteTrack(1), 0);
    EXPECT_EQ(song.tracks.size(), 2u);
    EXPECT_EQ(song.timeSignatureList.size(), 1u) << "the deleted track's signature is gone";
    for (MidiEvent* e : song.mergedEvents)
        EXPECT_EQ(e->track, song.tracks[0].get());

    EXPECT_EQ(song.deleteTrack(0), 0);
    EXPECT_EQ(song.tracks.size(), 2u) << "the first track is only emptied";
    EXPECT_EQ(kinds(*song.tracks[0]), (std::vector<int>{KindTimeSignature, KindTempo}));
    EXPECT_EQ(song.mergedEvents.size(), 1u);
    EXPECT_TRUE(song.tracks[0]->name.empty());
    EXPECT_EQ(song.deleteTrack(1), 0);
    EXPECT_EQ(song.deleteTrack(0), -1) << "the last track stays";
}

// Four tracks whose notes and controllers meet on the same ticks, so that the merged list's
// order on equal ticks shows which track comes first.
struct MovingTracks {
    MidiSong song;
    std::vector<MidiTrack*> tracks;
    std::vector<std::vector<MidiEvent*>> events;

    MovingTracks() {
        makeSong(song, 4);
        song.addEvent(0, 0, makeTempoEvent(500000));
        for (int t = 1; t < 4; ++t) {
            song.addEvent(0, t, makeChannelEvent(static_cast<uint8_t>(0xB0 + t), 7, 100));
            addNote(song, t, 0, 480, 60 + t);
            addNote(song, t, 480, 240, 70 + t);
            song.addEvent(960, t, makeEndOfTrackEvent());
        }
        for (const auto& track : song.tracks) {
            tracks.push_back(track.get());
            std::vector<MidiEvent*> own;
            for (const auto& e : track->events)
                own.push_back(e.get());
            events.push_back(own);
        }
    }

    // Every track holds the very events it held, in the same order, each knowing its track
    // and its partner; the merged list holds each playable event once, by tick and, on equal
    // ticks, by track position.
    void expectConsistent() const {
        size_t playable = 0;
        for (size_t i = 0; i < tracks.size(); ++i) {
            const MidiTrack& track = *tracks[i];
            ASSERT_EQ(track.size(), events[i].size());
            for (size_t k = 0; k < track.size(); ++k) {
                MidiEvent* e = track.at(k);
                EXPECT_EQ(e, events[i][k]);
                EXPECT_EQ(e->track, &track);
                if (e->partner) {
                    EXPECT_EQ(e->partner->partner, e);
                    EXPECT_EQ(e->partner->track, &track);
                }
                if (MergedEventList::belongs(e->kind())) {
                    ++playable;
                    EXPECT_NE(song.mergedEvents.indexOf(e), -1);
                }
            }
        }
        ASSERT_EQ(song.mergedEvents.size(), playable);
        for (size_t i = 1; i < song.mergedEvents.size(); ++i) {
            const MidiEvent* a = song.mergedEvents[i - 1];
            const MidiEvent* b = song.mergedEvents[i];
            ASSERT_LE(a->tick, b->tick);
            if (a->tick == b->tick) {
                EXPECT_LE(song.trackIndexOf(a->track), song.trackIndexOf(b->track)) << i;
            }
        }
    }

    std::vector<MidiTrack*> order() const {
        std::vector<MidiTrack*> result;
        for (const auto& track : song.tracks)
            result.push_back(track.get());
        return result;
    }
};

TEST(MoveTrack, LaterAndEarlierKeepEveryEventAndItsPairing) {
    MovingTracks s;
    const auto t = s.tracks;
    EXPECT_EQ(s.song.moveTrack(1, 3), 0);
    EXPECT_EQ(s.order(), (std::vector<MidiTrack*>{t[0], t[2], t[3], t[1]}));
    s.expectConsistent();
    EXPECT_EQ(s.song.mergedEvents[1]->track, t[2]) << "the first controller is now track 2's";

    EXPECT_EQ(s.song.moveTrack(3, 0), 0);
    EXPECT_EQ(s.order(), (std::vector<MidiTrack*>{t[1], t[0], t[2], t[3]}));
    s.expectConsistent();
    EXPECT_EQ(s.song.trackIndexOf(t[1]), 0);
    EXPECT_EQ(s.song.tempoList.size(), 1u);
    EXPECT_EQ(s.song.tempoList[0]->track, t[0]);
}

TEST(MoveTrack, MovingBackRestoresTheMergedOrder) {
    MovingTracks s;
    const std::vector<MidiEvent*> before(s.song.mergedEvents.begin(), s.song.mergedEvents.end());
    ASSERT_EQ(s.song.moveTrack(2, 1), 0);
    EXPECT_NE(std::vector<MidiEvent*>(s.song.mergedEvents.begin(), s.song.mergedEvents.end()),
              before);
    ASSERT_EQ(s.song.moveTrack(1, 2), 0);
    EXPECT_EQ(std::vector<MidiEvent*>(s.song.mergedEvents.begin(), s.song.mergedEvents.end()),
              before);
    s.expectConsistent();
}

TEST(MoveTrack, IndexOutsideTheListIsRefusedAndChangesNothing) {
    MovingTracks s;
    const auto t = s.tracks;
    const std::vector<MidiEvent*> before(s.song.mergedEvents.begin(), s.song.mergedEvents.end());
    for (auto [from, to] : {std::pair{-1, 2}, {4, 1}, {1, 4}, {2, -1}})
        EXPECT_EQ(s.song.moveTrack(from, to), -1) << from << " to " << to;
    EXPECT_EQ(s.song.moveTrack(2, 2), 0);
    EXPECT_EQ(s.order(), t);
    EXPECT_EQ(std::vector<MidiEvent*>(s.song.mergedEvents.begin(), s.song.mergedEvents.end()),
              before);
    MidiSong empty;
    EXPECT_EQ(empty.moveTrack(0, 0), -1);
}

TEST(EditOperations, ClearEmptiesEverything) {
    MidiSong song;
    makeSong(song, 2);
    addNote(song, 1, 0, 10);
    song.errorText = "x";
    song.keyName = "Eb";
    song.clear();
    EXPECT_TRUE(song.tracks.empty());
    EXPECT_TRUE(song.mergedEvents.empty());
    EXPECT_EQ(song.keyName, "C");
    EXPECT_TRUE(song.errorText.empty());
    EXPECT_EQ(song.division, 0);
    EXPECT_EQ(song.length, 0);
}

TEST(MergedList, SortByTickIsStableAndLowerBoundFindsTheFirstOfATick) {
    MergedEventList list;
    std::vector<std::unique_ptr<MidiEvent>> owned;
    for (int32_t tick : {50, 10, 30, 10, 50, 0, 30}) {
        owned.push_back(makeChannelEvent(0xB0, static_cast<uint8_t>(owned.size()), 0));
        owned.back()->tick = tick;
        list.appendUnsorted(owned.back().get());
    }
    owned.push_back(makeTimeSignatureEvent(4, 4));
    list.appendUnsorted(owned.back().get());
    EXPECT_EQ(list.size(), 7u) << "kinds outside the list are not appended";
    list.sortByTick();
    std::vector<int> order;
    for (MidiEvent* e : list)
        order.push_back(e->data1);
    EXPECT_EQ(order, (std::vector<int>{5, 1, 3, 2, 6, 0, 4}));
    EXPECT_EQ(list.lowerBound(30), 3);
    EXPECT_EQ(list.lowerBound(31), 5);
    EXPECT_EQ(list.lowerBound(99), 7);
    list.removeIf([](const MidiEvent* e) { return e->tick == 10; });
    EXPECT_EQ(list.size(), 5u);
    EXPECT_EQ(list.insert(owned[1].get()), 1) << "insert after the equal tick 0";
}

TEST(BarTable, SignaturesOutOfOrderStillFindTheLastBarStartingBefore) {
    // Time signatures read from two tracks come in reading order, not tick order; found by
    // fuzzing as a lookup that scanned the whole table for every event.
    MidiSong song;
    makeSong(song, 2);
    addTimeSignature(song, 0, 4, 4);
    auto late = makeTimeSignatureEvent(3, 4);
    song.timeSignatureList.push_back(late.get());
    song.addEvent(4000, 0, std::move(late));
    auto early = makeTimeSignatureEvent(2, 4);
    song.timeSignatureList.push_back(early.get());
    song.addEvent(1000, 1, std::move(early));
    song.length = 9000;
    song.rebuildBars();
    // 0, 1920, 3840, then 4000 (3/4) and back to 1000 (2/4): 1000, 1960, ...
    ASSERT_GE(song.barTable.size(), 6u);
    EXPECT_EQ(song.barTable[3].startTick, 4000);
    EXPECT_EQ(song.barTable[4].startTick, 1000);
    for (int32_t tick : {0, 500, 1919, 1920, 3999, 4000, 5000, 8999}) {
        int expected = -1;
        for (size_t i = 0; i < song.barTable.size(); ++i)
            if (song.barTable[i].startTick <= tick)
                expected = static_cast<int>(i);
        EXPECT_EQ(song.tickToBarBeatTick(tick).bar, expected + 1) << tick;
    }
}

namespace {

// The bar table as the plain loop would build it, one bar at a time.
std::vector<BarEntry> barsOneByOne(const MidiSong& song) {
    std::vector<BarEntry> bars;
    int64_t t = 0;
    size_t i = 0;
    const auto& list = song.timeSignatureList;
    while (t < song.length && i < list.size()) {
        bars.push_back({static_cast<int32_t>(t), static_cast<int16_t>(i)});
        int shift = list[i]->data[1];
        int64_t bar = shift < 31 ? int64_t{song.division} * list[i]->data[0] * 4 / (1 << shift) : 0;
        t += bar > 0 ? bar : std::max<int64_t>(song.division, 1) * 4;
        if (i + 1 < list.size() && t >= list[i + 1]->tick) {
            t = list[i + 1]->tick;
            ++i;
        }
    }
    return bars;
}

} // namespace

TEST(BarTable, RunsReadAsTheBarsOneByOneForEveryTick) {
    // Random signatures in random order (as several tracks give them), odd numerators, a zero
    // numerator and denominators from 1 to 64: every bar and every tick's position must be
    // the ones the bar-by-bar table gives.
    uint32_t seed = 7;
    auto random = [&seed](uint32_t range) {
        seed = seed * 1103515245 + 12345;
        return (seed >> 16) % range;
    };
    for (int round = 0; round < 60; ++round) {
        MidiSong song;
        makeSong(song, 3);
        song.division = static_cast<int16_t>(1 + random(120));
        addTimeSignature(song, 0, 4, 4);
        int signatures = static_cast<int>(random(6));
        for (int k = 0; k < signatures; ++k) {
            auto ts = makeTimeSignatureEvent(static_cast<int>(random(8)), 1 << random(7));
            song.timeSignatureList.push_back(ts.get());
            song.addEvent(static_cast<int32_t>(random(6000)), static_cast<int>(random(3)),
                          std::move(ts));
        }
        song.length = static_cast<int32_t>(1 + random(8000));
        song.rebuildBars();
        std::vector<BarEntry> expected = barsOneByOne(song);
        ASSERT_EQ(song.barTable.size(), expected.size()) << "round " << round;
        EXPECT_LE(song.barTable.runCount(), song.timeSignatureList.size());
        for (size_t b = 0; b < expected.size(); ++b) {
            ASSERT_EQ(song.barTable[b].startTick, expected[b].startTick) << round << " bar " << b;
            ASSERT_EQ(song.barTable[b].timeSignatureIndex, expected[b].timeSignatureIndex);
        }
        for (int32_t tick = 0; tick <= song.length; ++tick) {
            int last = -1;
            for (size_t b = 0; b < expected.size(); ++b)
                if (expected[b].startTick <= tick)
                    last = static_cast<int>(b);
            ASSERT_EQ(song.barTable.indexAt(tick), last) << round << " tick " << tick;
            BarBeatTick position = song.tickToBarBeatTick(tick);
            int32_t offset = last < 0 ? 0 : tick - expected[static_cast<size_t>(last)].startTick;
            ASSERT_EQ(position.bar, std::max(last, 0) + 1);
            ASSERT_EQ(position.beat, last < 0 ? 1 : offset / song.division + 1);
            ASSERT_EQ(position.tick, last < 0 ? 0 : offset % song.division);
        }
    }
}

TEST(BarTable, SizeFollowsTheSignaturesNotTheLength) {
    MidiSong song;
    makeSong(song);
    song.division = 1;
    addTimeSignature(song, 0, 1, 4);
    addTimeSignature(song, 1000, 7, 8);
    song.length = std::numeric_limits<int32_t>::max();
    song.rebuildBars();
    EXPECT_EQ(song.barTable.runCount(), 2u);
    // 1000 bars of one tick, then bars of 3 ticks (7/8 at division 1) to the end.
    const int64_t after = (int64_t{song.length} - 1000 + 2) / 3;
    EXPECT_EQ(song.barTable.size(), static_cast<size_t>(1000 + after));
    BarEntry last = song.barTable[song.barTable.size() - 1];
    EXPECT_EQ(last.startTick, 1000 + (after - 1) * 3);
    EXPECT_EQ(last.timeSignatureIndex, 1);
    BarBeatTick end = song.tickToBarBeatTick(song.length);
    EXPECT_EQ(end.bar, static_cast<int>(1000 + after));
    EXPECT_EQ(song.barBeatTickToTick(end.bar, end.beat, end.tick), song.length - 1)
        << "limited to the last tick before the end";
}

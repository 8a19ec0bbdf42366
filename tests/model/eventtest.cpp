#include "model/midievent.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace reedtab;

namespace {

std::string describe(const MidiEvent& e) {
    return e.description();
}

std::unique_ptr<MidiEvent> channel(uint8_t status, uint8_t d1, uint8_t d2) {
    return makeChannelEvent(status, d1, d2);
}

} // namespace

TEST(EventKinds, ChannelFactoryPicksTheClassByStatusNibble) {
    struct Case {
        uint8_t status;
        int kind;
        int statusCode;
    } cases[] = {{0x80, KindNoteOff, 0x80},    {0x93, KindNoteOn, 0x90},
                 {0xA0, KindAftertouch, 0xA0}, {0xBF, KindController, 0xB0},
                 {0xC2, KindProgram, 0xC0},    {0xD0, KindChannelPressure, 0xD0},
                 {0xE1, KindPitchWheel, 0xE0}, {0x70, KindChannel, 0}};
    for (const Case& c : cases) {
        auto e = channel(c.status, 1, 2);
        EXPECT_EQ(e->kind(), c.kind) << int(c.status);
        EXPECT_EQ(e->statusCode(), c.statusCode) << int(c.status);
        EXPECT_EQ(e->status, c.status);
        EXPECT_TRUE(e->isChannelEvent());
        EXPECT_FALSE(e->isMetaEvent());
    }
    EXPECT_EQ(channel(0x93, 60, 0)->channel(), 3);
}

TEST(EventKinds, MetaFactoryPicksTheClassByType) {
    struct Case {
        uint8_t type;
        int kind;
        int statusCode;
    } cases[] = {{1, KindText, 0},
                 {2, KindCopyright, 0},
                 {3, KindTrackName, 0},
                 {4, KindMeta, 0},
                 {5, KindLyric, 0},
                 {0x2F, KindEndOfTrack, 0x2F},
                 {0x51, KindTempo, 0x51},
                 {0x58, KindTimeSignature, 0x58},
                 {0x59, KindKeySignature, 0x59},
                 {0x7F, KindMeta, 0}};
    for (const Case& c : cases) {
        auto e = makeMetaEvent(c.type, "ab", 2);
        EXPECT_EQ(e->kind(), c.kind) << int(c.type);
        EXPECT_EQ(e->statusCode(), c.statusCode) << int(c.type);
        EXPECT_EQ(e->metaType, c.type);
        EXPECT_TRUE(e->isMetaEvent());
        EXPECT_EQ(e->dataLength, 2u);
        EXPECT_EQ(e->data[2], 0) << "payload must be followed by a zero byte";
    }
}

TEST(EventKinds, NewEventHasEveryFieldEmpty) {
    MidiEvent e;
    EXPECT_EQ(e.tick, 0);
    EXPECT_EQ(e.duration, 0);
    EXPECT_EQ(e.metaType, 0);
    EXPECT_EQ(e.dataLength, 0u);
    EXPECT_EQ(e.data, nullptr);
    EXPECT_EQ(e.partner, nullptr);
    EXPECT_EQ(e.track, nullptr);
    EXPECT_EQ(e.kind(), 0);
    EXPECT_EQ(e.statusCode(), 0);
    EXPECT_STREQ(e.text(), "");
}

TEST(EventValues, BaseValueIsData1AndSetValueKeepsTheLowByte) {
    auto e = channel(0xB0, 7, 100);
    EXPECT_EQ(e->value(), 7);
    e->setValue(0x1234);
    EXPECT_EQ(e->data1, 0x34);
}

TEST(EventValues, PitchWheelCentreAndExtremes) {
    EXPECT_EQ(channel(0xE0, 0, 64)->value(), 0);
    EXPECT_EQ(channel(0xE0, 127, 127)->value(), 8191);
    EXPECT_EQ(channel(0xE0, 0, 0)->value(), -8192);
    EXPECT_EQ(channel(0xE0, 1, 64)->value(), 1);
}

TEST(EventValues, TempoReadsAndWritesThreeBytesBigEndian) {
    uint8_t bytes[3] = {0x07, 0xA1, 0x20};
    auto e = makeMetaEvent(0x51, bytes, 3);
    EXPECT_EQ(e->value(), 500000);
    e->setValue(0x12345678);
    EXPECT_EQ(e->data[0], 0x34);
    EXPECT_EQ(e->data[1], 0x56);
    EXPECT_EQ(e->data[2], 0x78);
    EXPECT_EQ(e->value(), 0x345678);
}

TEST(EventValues, ShortTempoPayloadReadsAsZeroWithoutOverrun) {
    uint8_t bytes[1] = {0x07};
    auto e = makeMetaEvent(0x51, bytes, 1);
    EXPECT_EQ(e->value(), 0);
    EXPECT_NE(describe(*e).find("0 msec/quarter"), std::string::npos);
}

TEST(EventFactories, TempoFromBpmTruncates) {
    EXPECT_EQ(makeTempoEventFromBpm(120)->value(), 500000);
    EXPECT_EQ(makeTempoEventFromBpm(7)->value(), 8571428);
    auto t = makeTempoEventFromBpm(90);
    EXPECT_EQ(t->value(), 666666);
    EXPECT_EQ(t->dataLength, 3u);
    EXPECT_EQ(t->metaType, 0x51);
}

TEST(EventFactories, TimeSignatureStoresLog2OfTheDenominator) {
    auto ts = makeTimeSignatureEvent(6, 8, 24, 8);
    ASSERT_EQ(ts->dataLength, 4u);
    EXPECT_EQ(ts->data[0], 6);
    EXPECT_EQ(ts->data[1], 3);
    EXPECT_EQ(ts->data[2], 24);
    EXPECT_EQ(ts->data[3], 8);
    EXPECT_EQ(ts->metaType, 0x58);
    EXPECT_EQ(ts->numerator(), 6);
    EXPECT_EQ(ts->denominator(), 8);
    EXPECT_EQ(makeTimeSignatureEvent(3, 4)->data[1], 2);
    EXPECT_EQ(makeTimeSignatureEvent(2, 2)->data[1], 1);
}

TEST(EventFactories, KeySignatureClampsCountsOutsideSevenToZero) {
    auto k = makeKeySignatureEvent(-3, true);
    EXPECT_EQ(k->dataLength, 2u);
    EXPECT_EQ(k->sharpsFlats(), -3);
    EXPECT_TRUE(k->isMinor());
    EXPECT_EQ(makeKeySignatureEvent(9, false)->sharpsFlats(), 0);
    EXPECT_EQ(makeKeySignatureEvent(-8, false)->sharpsFlats(), 0);
}

TEST(EventFactories, EditorTextsCountTheirZero) {
    auto text = makeTextEvent("hello");
    EXPECT_EQ(text->dataLength, 6u);
    EXPECT_EQ(text->metaType, 1);
    EXPECT_STREQ(text->text(), "hello");
    auto name = makeTrackNameEvent("Lead");
    EXPECT_EQ(name->dataLength, 5u);
    EXPECT_EQ(name->metaType, 3);
    auto lyric = makeLyricEvent("la");
    EXPECT_EQ(lyric->dataLength, 2u);
    EXPECT_EQ(lyric->metaType, 5);
    auto end = makeEndOfTrackEvent();
    EXPECT_EQ(end->dataLength, 0u);
    EXPECT_EQ(end->metaType, 0x2F);
}

TEST(KeyNames, TableAndOutOfRange) {
    EXPECT_STREQ(keyName(-7), "Cb");
    EXPECT_STREQ(keyName(-3), "Eb");
    EXPECT_STREQ(keyName(0), "C");
    EXPECT_STREQ(keyName(6), "F#");
    EXPECT_STREQ(keyName(7), "C#");
    EXPECT_STREQ(keyName(9), "?");
    EXPECT_STREQ(keyName(-8), "?");
}

TEST(Descriptions, ChannelKinds) {
    auto on = channel(0x90, 60, 100);
    on->duration = 480;
    EXPECT_EQ(describe(*on), "Note On         : ch 01 note =  60 vel = 100 (480L)");
    auto offByVelocity = channel(0x91, 60, 0);
    EXPECT_EQ(describe(*offByVelocity), "Note On         : ch 02 note =  60 vel =   0 (Off)");
    EXPECT_EQ(describe(*channel(0x80, 7, 64)), "Note Off        : ch 01 note =   7 vel =  64");
    EXPECT_EQ(describe(*channel(0xC2, 22, 0)), "Program         : ch 03 022:Harmonica");
    EXPECT_EQ(describe(*channel(0xC0, 127, 0)), "Program         : ch 01 127:Gunshot");
    EXPECT_EQ(describe(*channel(0xE0, 0, 64)), "Pitch Wheel     : ch 01 value 0  (0)");
    EXPECT_EQ(describe(*channel(0xD5, 33, 0)), "Channel Pressure: ch 06 press =  33");
    EXPECT_EQ(describe(*channel(0xA0, 60, 5)), "Aftertouch      : ch 01 note =  60 press =   5");
    EXPECT_EQ(describe(*channel(0xB9, 7, 100)),
              "Controller      : ch 10 007:Volume (coarse) = 100");
    EXPECT_EQ(describe(*channel(0xB0, 3, 1)), "Controller      : ch 01 003: =   1");
    EXPECT_EQ(describe(*channel(0x70, 1, 2)), "Channel Message : status = 70 c1 =   1 c2 =   2");
    EXPECT_EQ(describe(MidiEvent()), "General Message : ");
}

TEST(Descriptions, ControllerAndProgramTablesSpotChecks) {
    EXPECT_STREQ(controllerName(0), "Bank Select");
    EXPECT_STREQ(controllerName(64), "Hold Pedal (on/off)");
    EXPECT_STREQ(controllerName(92), "Tremulo Level");
    EXPECT_STREQ(controllerName(99), "Non-registered Param (coars)");
    EXPECT_STREQ(controllerName(101), "Registered Parameter (coars)");
    EXPECT_STREQ(controllerName(120), "All Sound Off");
    EXPECT_STREQ(controllerName(127), "Poly Operation");
    for (int unnamed : {3, 9, 14, 15, 20, 31, 35, 41, 46, 63, 84, 90, 102, 119})
        EXPECT_STREQ(controllerName(unnamed), "") << unnamed;
    EXPECT_STREQ(programName(0), "Piano 1");
    EXPECT_STREQ(programName(30), "Distorton Guitar");
    EXPECT_STREQ(programName(45), "Pizzicato String");
    EXPECT_STREQ(programName(81), "Saw Wave");
    EXPECT_STREQ(programName(104), "Sitar");
    EXPECT_STREQ(programName(128 + 22), "Harmonica");
}

TEST(Descriptions, MetaAndSysExKinds) {
    EXPECT_EQ(describe(*makeTempoEvent(500000)), "Tempo change    : 500000 msec/quarter 120.0 bpm");
    EXPECT_EQ(describe(*makeTimeSignatureEvent(6, 8, 24, 8)),
              "Time signature  : 6/8, 24 Midi clocks/click, 8 32nd/quarter [4]");
    EXPECT_EQ(describe(*makeKeySignatureEvent(2, false)), "Key signature   : Key of D (2) ");
    EXPECT_EQ(describe(*makeKeySignatureEvent(-1, true)), "Key signature   : Key of F (-1) m");
    EXPECT_EQ(describe(*makeEndOfTrackEvent()), "End of Track    : ");
    EXPECT_EQ(describe(*makeMetaEvent(1, "hi", 2)), "Text            : text = [2] hi");
    EXPECT_EQ(describe(*makeMetaEvent(2, "(c)", 3)), "Copyright       : text = [3] (c)");
    EXPECT_EQ(describe(*makeMetaEvent(3, "Bass", 4)), "Track Name      : text = [4] Bass");
    EXPECT_EQ(describe(*makeMetaEvent(5, "la", 2)), "Lyric           : text = [2] la");
    EXPECT_EQ(describe(*makeMetaEvent(0x7F, "xy", 2)),
              "Meta Event      : type = 0x7f data = [2] xy");
    EXPECT_EQ(describe(*makeMetaEvent(0x04, "x", 1)), "Meta Event      : type = 0x 4 data = [1] x");
    uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    EXPECT_EQ(describe(*makeSysExEvent(sysex, 6)),
              "SysEx           : data = [6] F0 7E 7F 09 01 F7");
    StrangeSysExEvent strange;
    strange.setData("ab", 2);
    EXPECT_EQ(describe(strange), "Strange SysEx   : data = [2] ab");
}

TEST(Descriptions, TimeSignatureBytesAreSigned) {
    uint8_t bytes[4] = {0xFF, 0x02, 0x80, 0x08};
    auto ts = makeMetaEvent(0x58, bytes, 4);
    EXPECT_EQ(describe(*ts), "Time signature  : -1/4, -128 Midi clocks/click, 8 32nd/quarter [4]");
}

TEST(Descriptions, CutSafelyAtTheCallersCapacity) {
    auto on = channel(0x90, 60, 100);
    char small[12];
    std::memset(small, 'x', sizeof small);
    size_t n = on->describe(small, 8);
    EXPECT_EQ(n, 7u);
    EXPECT_STREQ(small, "Note On");
    EXPECT_EQ(small[8], 'x') << "wrote past the capacity";
    EXPECT_EQ(on->describe(small, 0), 0u);
    EXPECT_EQ(small[0], 'N') << "capacity 0 must not write";

    std::string big(5000, '\x41');
    big.front() = static_cast<char>(0xF0);
    big.back() = static_cast<char>(0xF7);
    auto sysex = makeSysExEvent(big.data(), static_cast<uint32_t>(big.size()));
    char buffer[100];
    buffer[99] = 'z';
    n = sysex->describe(buffer, 99);
    EXPECT_LT(n, 99u);
    EXPECT_EQ(std::strlen(buffer), n);
    EXPECT_EQ(buffer[99], 'z');
    // Bytes are never cut in the middle of their two digits.
    EXPECT_EQ((n - std::strlen("SysEx           : data = [5000]")) % 3, 0u);
    EXPECT_EQ(sysex->description().size(),
              std::strlen("SysEx           : data = [5000]") + 3 * 5000);
}

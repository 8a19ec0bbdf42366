#include "playback/midiinput.h"

#include <gtest/gtest.h>

#include <vector>

using namespace reedtab;

namespace {

std::optional<NoteInput> convert(std::vector<std::uint8_t> bytes) {
    return convertInputMessage(bytes.data(), bytes.size());
}

struct Frame : NoteInputWindow {
    std::vector<NoteInput> handled;
    void sendNoteInput(const NoteInput& input) override { handled.push_back(input); }
};

} // namespace

TEST(NoteInputConversion, NotesProgramsAndPitchWheelBecomeActionsForNow) {
    const auto on = convert({0x93, 60, 100});
    ASSERT_TRUE(on);
    EXPECT_EQ(on->action(), NoteInputNoteOn);
    EXPECT_EQ(on->channel(), 3u);
    EXPECT_EQ(on->tick(), kNoteInputNow);
    EXPECT_EQ(on->wParam, 60u | 100u << 8);
    EXPECT_EQ(on->lParam, 2u << 29 | 3u << 25 | 0x1FFFFFFu);

    const auto off = convert({0x8F, 61, 64});
    ASSERT_TRUE(off);
    EXPECT_EQ(off->action(), NoteInputNoteOff);
    EXPECT_EQ(off->channel(), 15u);
    EXPECT_EQ(off->wParam, 61u | 64u << 8);

    const auto program = convert({0xC2, 41});
    ASSERT_TRUE(program);
    EXPECT_EQ(program->action(), NoteInputProgram);
    EXPECT_EQ(program->wParam, 41u);
    EXPECT_EQ(program->channel(), 2u);

    const auto wheel = convert({0xE0, 0x12, 0x40});
    ASSERT_TRUE(wheel);
    EXPECT_EQ(wheel->action(), NoteInputPitchWheel);
    EXPECT_EQ(wheel->data1(), 0x12u);
    EXPECT_EQ(wheel->data2(), 0x40u);
}

TEST(NoteInputConversion, NoteOnWithVelocityZeroIsANoteOffWithVelocityZero) {
    const auto input = convert({0x90, 64, 0});
    ASSERT_TRUE(input);
    EXPECT_EQ(input->action(), NoteInputNoteOff);
    EXPECT_EQ(input->data1(), 64u);
    EXPECT_EQ(input->data2(), 0u);
}

TEST(NoteInputConversion, ControllersPressureSystemAndBrokenMessagesAreIgnored) {
    EXPECT_FALSE(convert({0xB0, 7, 100}));
    EXPECT_FALSE(convert({0xA0, 60, 20}));
    EXPECT_FALSE(convert({0xD0, 20}));
    EXPECT_FALSE(convert({0xF8}));
    EXPECT_FALSE(convert({0xFE}));
    EXPECT_FALSE(convert({0xF0, 0x7E, 0xF7}));
    EXPECT_FALSE(convert({0x3C, 0x40}));
    EXPECT_FALSE(convert({0x90, 60}));
    EXPECT_FALSE(convert({}));
    EXPECT_FALSE(convertInputMessage(nullptr, 3));
}

TEST(NoteInputConversion, PackingCutsFieldsToTheirBits) {
    const auto input = makeNoteInput(NoteInputTestNote, 9, 72, 90, 1234);
    EXPECT_EQ(input.action(), 0u);
    EXPECT_EQ(input.channel(), 9u);
    EXPECT_EQ(input.tick(), 1234u);
    EXPECT_EQ(makeNoteInput(2, 17, 0x1FF, 0, 0x2000001).lParam, 2u << 29 | 1u << 25 | 1u);
}

TEST(MidiInputDevice, DeliversInArrivalOrderSynchronouslyAndNothingAfterClose) {
    MidiInput input;
    Frame frame;
    input.setWindow(&frame);
    const std::uint8_t messages[][3] = {
        {0x90, 60, 90}, {0xB0, 1, 5}, {0x80, 60, 0}, {0xC0, 3, 0}, {0x90, 62, 0}};
    for (const auto& m : messages) {
        input.deliver(m, (m[0] & 0xF0) == 0xC0 ? 2 : 3);
    }
    ASSERT_EQ(frame.handled.size(), 4u) << "the controller is neither echoed nor recorded";
    EXPECT_EQ(frame.handled[0].action(), NoteInputNoteOn);
    EXPECT_EQ(frame.handled[1].action(), NoteInputNoteOff);
    EXPECT_EQ(frame.handled[2].action(), NoteInputProgram);
    EXPECT_EQ(frame.handled[3].action(), NoteInputNoteOff);
    input.closeInput();
    input.deliver(messages[0], 3);
    EXPECT_EQ(frame.handled.size(), 4u);
}

TEST(MidiInputDevice, WithNoInputChosenNothingOpens) {
    MidiInput input;
    Frame frame;
    EXPECT_EQ(input.openInput(-1, &frame), -1);
    EXPECT_FALSE(input.isOpen());
    EXPECT_EQ(input.openInput(1000, &frame), -1);
}

// The whole program against a real JACK server: notes played on a JACK MIDI keyboard reach the
// main frame through the MIDI input and are written into the song in edit mode.

#include "../app/apptestsupport.h"
#include "../support/jacktestclient.h"

#include "app/editcontroller.h"
#include "app/mainframe.h"
#include "app/reedtabapp.h"
#include "document/reedtabdoc.h"
#include "model/miditrack.h"
#include "playback/midiinput.h"
#include "settings/settings.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace reedtab {
namespace {

using namespace std::chrono_literals;
using testing::JackTestClient;
using testing::TestProgram;

struct Written {
    int key;
    int velocity;
    std::int32_t tick;
    bool operator==(const Written&) const = default;
};

std::vector<Written> notesOn(const MidiTrack& track, int channel) {
    std::vector<Written> notes;
    for (const auto& e : track.events) {
        if (e->isNoteOn() && e->channel() == channel) {
            notes.push_back({e->data1, e->data2, e->tick});
        }
    }
    return notes;
}

TEST(JackKeyboard, NotesPlayedOnAJackPortAreWrittenAtTheEditCursorInEditMode) {
    JackTestClient keyboard("reedtab-test-keyboard");
    if (!keyboard.isOpen()) {
        GTEST_SKIP() << "no JACK server runs (scripts/test starts one)";
    }
    auto store = std::make_unique<MemorySettingsStore>();
    store->writeString(kSettingsSection, "midiInDeviceStr", keyboard.midiOutName());
    TestProgram program(std::move(store), {kMidiMapperName}, inputDeviceNames());
    ASSERT_GE(settings().inputDeviceIndex.load(), 0) << "the stored port is found by its name";
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(
        program.app().openFile(QStringLiteral(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid")));
    program.app().edits().editModeCommand();
    ASSERT_NE(program.app().edits().editToolbar(), nullptr);
    CReedtabDoc& doc = frame.document();
    doc.cursorTick = 0;
    const MidiTrack& track = *doc.song.track(doc.editTrack);
    std::this_thread::sleep_for(50ms);

    // Channel 6 is used by no track of the song: what arrives there is the keyboard's.
    keyboard.send({0x95, 72, 100});
    keyboard.send({0x85, 72, 0});
    keyboard.send({0x95, 74, 90});
    keyboard.send({0x85, 74, 0});
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (notesOn(track, 5).size() < 2 && std::chrono::steady_clock::now() < end) {
        QApplication::processEvents();
        std::this_thread::sleep_for(5ms);
    }
    const std::int32_t step = doc.soundingTicks + doc.gapTicks;
    EXPECT_EQ(notesOn(track, 5), (std::vector<Written>{{72, 100, 0}, {74, 90, step}}));
    EXPECT_EQ(doc.cursorTick, 2 * step);
}

} // namespace
} // namespace reedtab

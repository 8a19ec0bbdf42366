// The tablature export and fingering dialogs driven through their controls: the preview
// follows every option and is the text the export saves.

#include "dialogs/tablaturedlg.h"

#include "harmonica/diatoniclayout.h"
#include "harmonica/harpfinder.h"
#include "model/midisong.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace reedtab {
namespace {

class TablatureDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(song.loadFile(REEDTAB_SOURCE_DIR "/examples/amazing-grace.kar"), LoadOk);
        for (const auto& track : song.tracks) {
            for (const auto& e : track->events) {
                e->isNote = e->isNoteOn() && e->duration > 0;
            }
        }
    }
    MidiSong song;
    Settings block;
    DiatonicLayout richter{block};
};

TEST_F(TablatureDialogs, ThePreviewFollowsEveryOption) {
    CTabTextExportDlg dialog(song, richter, -1, -1);
    EXPECT_EQ(dialog.track(), melodyTrack(song)) << "the melody track first";
    auto shown = [&] { return dialog.preview()->toPlainText().toStdString(); };
    EXPECT_EQ(shown(), dialog.text());

    dialog.trackList()->setCurrentIndex(1);
    dialog.styleList()->setCurrentIndex(4);
    dialog.barsField()->setValue(1);
    dialog.lyricsBox()->setChecked(true);
    TabTextOptions options;
    options.style = TabStyle::DrawDefault;
    options.barsPerLine = 1;
    options.lyrics = true;
    EXPECT_EQ(shown(), writeTabText(song, 1, richter, options));
    EXPECT_NE(shown().find("\n+6 |\nA-\n+7  +8   +7 |\nma- zing\n"), std::string::npos) << shown();
    EXPECT_EQ(dialog.options().style, TabStyle::DrawDefault);

    CTabTextExportDlg marked(song, richter, 1920, 3840);
    marked.trackList()->setCurrentIndex(1);
    EXPECT_EQ(marked.text().substr(marked.text().find("\n\n") + 2), "+8 +7 | +8 |\n")
        << "from beat 2 of bar 2 up to beat 3 of bar 3 (3/4)";
}

TEST_F(TablatureDialogs, OptimizeTakesTheTrackAndWhatToAvoid) {
    COptimizeFingeringsDlg dialog(song, richter, true);
    EXPECT_EQ(dialog.track(), melodyTrack(song));
    dialog.trackList()->setCurrentIndex(1);
    dialog.avoidOverblowsBox()->setChecked(true);
    EXPECT_EQ(dialog.track(), 1);
    EXPECT_FALSE(dialog.options().avoidBends);
    EXPECT_TRUE(dialog.options().avoidOverblows);
}

} // namespace
} // namespace reedtab

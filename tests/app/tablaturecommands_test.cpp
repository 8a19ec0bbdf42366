// The frame's commands of the shareable tablature: export and import of text tablature,
// MusicXML and Optimize Fingerings, driven as the menus drive them.

#include "apptestsupport.h"

#include "app/transportcontroller.h"

#include "dialogs/tablaturedlg.h"
#include "dialogtesting.h"
#include "document/reedtabdoc.h"
#include "formats/tabtext.h"
#include "harmonica/notation.h"
#include "model/midisong.h"
#include "settings/settings.h"
#include "ui/commands.h"
#include "ui/commandtable.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace reedtab {
namespace {

using testing::onNextDialog;
using testing::TestProgram;

const QString kSaints = QStringLiteral(REEDTAB_SOURCE_DIR "/examples/saints.mid");

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct TablatureCommands : ::testing::Test {
    TestProgram program;
    CMainFrame& frame = program.frame();
    QTemporaryDir folder;
    std::string asked;

    void SetUp() override {
        settings().tabMode = kDiatonicTab;
        frame.savePathSink = [this](const std::string& title, const std::string&) {
            asked = title;
            return file("out");
        };
    }
    void TearDown() override { settings() = Settings{}; }
    std::string file(const char* name) const {
        return folder.filePath(QString::fromLatin1(name)).toStdString();
    }
    bool enabled(int id) {
        frame.updateCommandStates();
        return frame.action(id)->isEnabled();
    }
};

TEST_F(TablatureCommands, NeedASongAStoppedPlayerAndForFingeringsAHarmonica) {
    const int withSong[] = {ID_FILE_EXPORT_TAB_TEXT, ID_FILE_EXPORT_MUSICXML,
                            ID_OPTIMIZE_FINGERINGS};
    for (const int id : withSong) {
        EXPECT_FALSE(enabled(id)) << id << " without a song";
    }
    EXPECT_TRUE(enabled(ID_FILE_IMPORT_TAB_TEXT));
    ASSERT_TRUE(program.app().openFile(kSaints));
    for (const int id : withSong) {
        EXPECT_TRUE(enabled(id)) << id;
    }
    frame.tabTypeSelected(kNotesC);
    EXPECT_FALSE(enabled(ID_OPTIMIZE_FINGERINGS)) << "note names have no fingerings";
    EXPECT_TRUE(enabled(ID_FILE_EXPORT_TAB_TEXT)) << "the diatonic harp then";
    frame.tabTypeSelected(kChromaticTab);
    program.app().transportCommands().playCommand();
    for (const int id : {ID_FILE_EXPORT_TAB_TEXT, ID_FILE_EXPORT_MUSICXML, ID_OPTIMIZE_FINGERINGS,
                         ID_FILE_IMPORT_TAB_TEXT}) {
        EXPECT_FALSE(enabled(id)) << id << " while playing";
    }
    program.app().transportCommands().stopCommand();
}

TEST_F(TablatureCommands, ExportTablatureTextSavesWhatThePreviewShows) {
    ASSERT_TRUE(program.app().openFile(kSaints));
    std::string preview;
    onNextDialog<CTabTextExportDlg>([&](CTabTextExportDlg& dialog) {
        dialog.trackList()->setCurrentIndex(1);
        dialog.styleList()->setCurrentIndex(2);
        dialog.barsField()->setValue(2);
        preview = dialog.preview()->toPlainText().toStdString();
    });
    ASSERT_TRUE(frame.commands().run(ID_FILE_EXPORT_TAB_TEXT));
    EXPECT_EQ(asked, "Export Tablature Text");
    const std::string text = slurp(file("out"));
    EXPECT_EQ(text, preview);
    TabTextOptions options;
    options.style = TabStyle::HarpSurgery;
    options.barsPerLine = 2;
    EXPECT_EQ(text, writeTabText(frame.document().song, 1, frame.diatonic(), options));
    EXPECT_NE(text.find("4B 5B 5D | 6B |\n"), std::string::npos) << text;

    std::filesystem::remove(file("out"));
    onNextDialog<CTabTextExportDlg>([](CTabTextExportDlg&) {}, false);
    ASSERT_TRUE(frame.commands().run(ID_FILE_EXPORT_TAB_TEXT));
    EXPECT_FALSE(std::filesystem::exists(file("out"))) << "cancelled";
}

TEST_F(TablatureCommands, OptimizeFingeringsIsOneUndoStep) {
    ASSERT_TRUE(program.app().openFile(kSaints));
    CReedtabDoc& doc = frame.document();
    auto chosen = [&] {
        int count = 0;
        for (const auto& e : doc.song.track(2)->events) {
            count += e->isNoteOn() && frame.diatonic().alternativeOf(e->data1, e->fingering) > 0;
        }
        return count;
    };
    onNextDialog<COptimizeFingeringsDlg>([&](COptimizeFingeringsDlg& dialog) {
        dialog.trackList()->setCurrentIndex(2);
        EXPECT_FALSE(dialog.options().avoidBends);
        dialog.avoidBendsBox()->setChecked(true);
        EXPECT_TRUE(dialog.options().avoidBends);
    });
    ASSERT_TRUE(frame.commands().run(ID_OPTIMIZE_FINGERINGS));
    EXPECT_EQ(chosen(), 24) << "the piano's draw 2 became blow 3";
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(frame.action(ID_EDIT_UNDO)->text(), QStringLiteral("Undo Edit\tCtrl+Z"));
    ASSERT_TRUE(frame.commands().run(ID_EDIT_UNDO));
    EXPECT_EQ(chosen(), 0);
}

TEST_F(TablatureCommands, ImportOpensANewSongOnTheHarpItsHeaderNames) {
    ASSERT_TRUE(program.app().openFile(kSaints));
    const std::string tab = file("riff.txt");
    // On a G harp D4 is draw 2 or blow 3; the text asks for blow 3.
    std::ofstream(tab) << "Title: Riff\nHarp: G, Major Diatonic (Richter)\n\n"
                          "+3 -3' -4 | (-1 -2 -3) +6o |\n";
    frame.openPathSink = [&](const std::string& title, const std::string&) {
        asked = title;
        return tab;
    };
    ASSERT_TRUE(frame.commands().run(ID_FILE_IMPORT_TAB_TEXT));
    EXPECT_EQ(asked, "Import Tablature Text");
    CReedtabDoc& doc = frame.document();
    EXPECT_EQ(doc.pathName(), "");
    EXPECT_TRUE(doc.isModified());
    EXPECT_FALSE(doc.undoEnabled());
    EXPECT_EQ(frame.diatonic().key(), 55);
    EXPECT_EQ(settings().tabMode, kDiatonicTab);
    EXPECT_EQ(frame.layoutText()->text(), QStringLiteral("Major Diatonic (Richter) Key of G"));
    EXPECT_EQ(frame.tabTypeSelector()->currentIndex(), kDiatonicTab);
    ASSERT_EQ(doc.song.trackCount(), 1);
    EXPECT_EQ(doc.song.track(0)->name, "Riff");
    const MidiEvent* first = nullptr;
    int notes = 0;
    for (const auto& e : doc.song.track(0)->events) {
        if (e->isNote) {
            first = first ? first : e.get();
            ++notes;
        }
    }
    EXPECT_EQ(notes, 7) << "notes are drawn";
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->data1, 62);
    EXPECT_EQ(first->fingering, frame.diatonic().fingeringFor(62, 1));

    // Exported again it reads as it was written.
    onNextDialog<CTabTextExportDlg>([](CTabTextExportDlg&) {});
    ASSERT_TRUE(frame.commands().run(ID_FILE_EXPORT_TAB_TEXT));
    const std::string again = slurp(file("out"));
    EXPECT_NE(again.find("Title: Riff\nHarp: G, Major Diatonic (Richter)\n"), std::string::npos);
    EXPECT_NE(again.find("\n+3 -3' -4 | (-1 -2 -3) +6o |\n"), std::string::npos) << again;
}

TEST_F(TablatureCommands, AnImportThatCannotBeReadSaysWhereAndKeepsTheSong) {
    ASSERT_TRUE(program.app().openFile(kSaints));
    const std::string bad = file("bad.txt");
    std::ofstream(bad) << "+4 -4\n+5 x -5\n";
    frame.openPathSink = [&](const std::string&, const std::string&) { return bad; };
    ASSERT_TRUE(frame.commands().run(ID_FILE_IMPORT_TAB_TEXT));
    ASSERT_FALSE(program.messages.empty());
    EXPECT_EQ(program.messages.back().text, "bad.txt: line 2, column 4: cannot read \"x\"");
    EXPECT_EQ(program.messages.back().caption, "Import Tablature Text");
    EXPECT_EQ(frame.document().pathName(), kSaints.toStdString());
    EXPECT_FALSE(frame.document().isModified());

    frame.openPathSink = [&](const std::string&, const std::string&) { return file("none"); };
    const auto shown = program.messages.size();
    ASSERT_TRUE(frame.commands().run(ID_FILE_IMPORT_TAB_TEXT));
    ASSERT_EQ(program.messages.size(), shown + 1);
    EXPECT_EQ(program.messages.back().text, "Cannot read the file none");
    EXPECT_EQ(frame.document().pathName(), kSaints.toStdString());
}

TEST_F(TablatureCommands, MusicXmlCarriesTheTablatureTheStaffShows) {
    ASSERT_TRUE(program.app().openFile(kSaints));
    ASSERT_TRUE(frame.commands().run(ID_FILE_EXPORT_MUSICXML));
    EXPECT_EQ(asked, "Export MusicXML");
    std::string xml = slurp(file("out"));
    EXPECT_EQ(xml.rfind("<?xml", 0), 0u);
    EXPECT_NE(xml.find("<part-name>Melody</part-name>"), std::string::npos);
    EXPECT_NE(xml.find("name=\"tablature\""), std::string::npos);
    frame.tabTypeSelected(kNotesC);
    ASSERT_TRUE(frame.commands().run(ID_FILE_EXPORT_MUSICXML));
    xml = slurp(file("out"));
    EXPECT_EQ(xml.find("name=\"tablature\""), std::string::npos) << "note names: no tablature";
}

} // namespace
} // namespace reedtab

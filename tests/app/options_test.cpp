// The options sheet over a whole program: every control reaches the settings block and the
// store on OK and Apply and nothing on Cancel; the devices are reopened; the view and the
// lyrics hook follow. Also the frame's PDF export, which prints through the same pages.

#include "apptestsupport.h"

#include "app/listenoptions.h"
#include "app/transportcontroller.h"

#include "app/options.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"
#include "playback/midiinput.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "view/reedtabview.h"
#include "view/songprinter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace reedtab {
namespace {

using testing::TestProgram;

const FontSpec kChosenFont{"DejaVu Serif", -24, 700, true};
const Rgb kChosenColour{10, 20, 30};

OptionsChoosers answeringChoosers() {
    OptionsChoosers choosers;
    choosers.font = [](const FontSpec&, QWidget*) { return std::optional<FontSpec>(kChosenFont); };
    choosers.colour = [](const Rgb&, QWidget*) { return std::optional<Rgb>(kChosenColour); };
    return choosers;
}

std::unique_ptr<CProperties> sheetOf(TestProgram& program) {
    return std::make_unique<CProperties>(program.frame(), program.app().outputDevices(),
                                         program.app().inputDevices(), answeringChoosers());
}

// Every control of the three pages moved away from its default.
void changeEveryControl(CProperties& sheet) {
    CPropGeneral& general = sheet.general();
    general.schemeList()->setCurrentIndex(2);
    general.pitchBendsBox()->setChecked(false);
    general.drumsBox()->setChecked(true);
    general.snapBox()->setChecked(true);
    general.expressionBox()->setChecked(true);
    general.tabFontButton()->click();
    general.textFontButton()->click();
    CPrintOptions& print = sheet.print();
    print.trebleBox()->setChecked(false);
    print.bassBox()->setChecked(true);
    print.noColorBarsBox()->setChecked(true);
    print.beatsPerLineBox()->setValue(32);
    CPropLyrics& lyrics = sheet.lyrics();
    lyrics.fontButton()->click();
    lyrics.textColourButton()->click();
    lyrics.backgroundButton()->click();
    CPropListening& listening = sheet.listening();
    listening.concertPitchBox()->setValue(442);
    listening.toleranceBox()->setValue(55);
    listening.offsetBox()->setValue(-40);
    for (int i = 0; i < 4; ++i) {
        listening.colourButton(i)->click();
    }
}

void expectEveryChange(const Settings& block, const MemorySettingsStore& store) {
    EXPECT_EQ(block.musicNoteType, 2);
    EXPECT_FALSE(block.showPitchBends);
    EXPECT_TRUE(block.showDrumsNotes);
    EXPECT_TRUE(block.editSnap);
    EXPECT_TRUE(block.changeExpr2Vol);
    EXPECT_EQ(block.fontTab, kChosenFont);
    EXPECT_EQ(block.fontText, kChosenFont);
    EXPECT_FALSE(block.printTrebleClef);
    EXPECT_TRUE(block.printBassClef);
    EXPECT_TRUE(block.printNoColorBars);
    EXPECT_EQ(block.printBeatsPerLine, 32);
    EXPECT_EQ(block.fontLyrics, kChosenFont);
    EXPECT_EQ(block.fontLyricsTxt, kChosenColour);
    EXPECT_EQ(block.fontLyricsBg, kChosenColour);
    EXPECT_EQ(block.concertPitch, 442);
    EXPECT_EQ(block.listenTolerance, 55);
    EXPECT_EQ(block.listenOffsetMs, -40);
    for (const Rgb& colour :
         {block.colorHit, block.colorWrong, block.colorMissed, block.colorHeard}) {
        EXPECT_EQ(colour, kChosenColour);
    }

    const auto stored = [&store](const char* key) { return store.readInt(kSettingsSection, key); };
    EXPECT_EQ(stored("musicNoteType"), 2);
    EXPECT_EQ(stored("showPitchBends"), 0);
    EXPECT_EQ(stored("showDrumsNotes"), 1);
    EXPECT_EQ(stored("editSnap"), 1);
    EXPECT_EQ(stored("changeExpr2Vol"), 1);
    EXPECT_EQ(store.readString(kSettingsSection, "fontTabFaceName"), kChosenFont.faceName);
    EXPECT_EQ(stored("fontTabHeight"), -24);
    EXPECT_EQ(store.readString(kSettingsSection, "fontTextFaceName"), kChosenFont.faceName);
    EXPECT_EQ(stored("fontTextItalic"), 1);
    EXPECT_EQ(stored("printTrebleClef"), 0);
    EXPECT_EQ(stored("printBassClef"), 1);
    EXPECT_EQ(stored("printNoColorBars"), 1);
    EXPECT_EQ(stored("printBeatsPerLine"), 32);
    EXPECT_EQ(store.readString(kSettingsSection, "fontLyricsFaceName"), kChosenFont.faceName);
    EXPECT_EQ(stored("fontLyricsWeight"), 700);
    EXPECT_EQ(stored("fontLyricsTxt"), kChosenColour.stored());
    EXPECT_EQ(stored("fontLyricsBg"), kChosenColour.stored());
    EXPECT_EQ(stored("concertPitch"), 442);
    EXPECT_EQ(stored("listenTolerance"), 55);
    EXPECT_EQ(stored("listenOffsetMs"), -40);
    EXPECT_EQ(stored("colorMissed"), kChosenColour.stored());
}

TEST(OptionsSheet, OkWritesEveryControlAndCancelNothing) {
    TestProgram program;
    int lyricsNews = 0;
    QObject::connect(&program.frame(), &CMainFrame::lyricsSettingsChanged,
                     [&lyricsNews] { ++lyricsNews; });
    {
        auto sheet = sheetOf(program);
        EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Reedtab Midi Options"));
        EXPECT_FALSE(sheet->applyButton()->isEnabled());
        changeEveryControl(*sheet);
        EXPECT_TRUE(sheet->applyButton()->isEnabled());
        sheet->cancelButton()->click();
    }
    const Settings defaults;
    EXPECT_EQ(settings().fontTab, defaults.fontTab);
    EXPECT_EQ(settings().printBeatsPerLine, defaults.printBeatsPerLine);
    EXPECT_EQ(settings().fontLyricsBg, defaults.fontLyricsBg);
    EXPECT_EQ(settings().colorHit, defaults.colorHit);
    EXPECT_EQ(settings().listenTolerance, defaults.listenTolerance);
    EXPECT_TRUE(settings().showPitchBends);
    EXPECT_EQ(program.store().keyCount(kSettingsSection), 0u) << "Cancel saves nothing";
    EXPECT_EQ(lyricsNews, 0);

    auto sheet = sheetOf(program);
    changeEveryControl(*sheet);
    sheet->okButton()->click();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    expectEveryChange(settings(), program.store());
    EXPECT_EQ(lyricsNews, 1) << "the lyrics window's hook";
}

TEST(OptionsSheet, ApplyWritesEveryControlAndWaitsForTheNextChange) {
    TestProgram program;
    auto sheet = sheetOf(program);
    changeEveryControl(*sheet);
    sheet->applyButton()->click();
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    EXPECT_NE(sheet->result(), QDialog::Accepted) << "Apply leaves the sheet open";
    expectEveryChange(settings(), program.store());

    // A second visit shows the applied values and Cancel keeps them.
    auto again = sheetOf(program);
    EXPECT_EQ(again->general().schemeList()->currentIndex(), 2);
    EXPECT_TRUE(again->general().drumsBox()->isChecked());
    EXPECT_EQ(again->print().beatsPerLineBox()->value(), 32);
    EXPECT_FALSE(again->print().trebleBox()->isChecked());
    EXPECT_EQ(again->general().tabFontSample()->font().pixelSize(), 24);
    again->print().beatsPerLineBox()->setValue(8);
    again->cancelButton()->click();
    EXPECT_EQ(settings().printBeatsPerLine, 32);
}

TEST(OptionsSheet, AFontChangeRedrawsTheView) {
    TestProgram program;
    ASSERT_TRUE(
        program.app().openFile(QStringLiteral(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid")));
    CReedtabView& view = program.frame().view();
    view.grab();
    const int before = view.layout().textHeight;
    ASSERT_GT(before, 0);
    const QImage shown = view.canvas();

    auto sheet = sheetOf(program);
    sheet->general().tabFontButton()->click();
    sheet->okButton()->click();
    view.grab();
    EXPECT_GT(view.layout().textHeight, before) << "laid out with the 24-pixel font";
    EXPECT_NE(view.canvas(), shown);
}

TEST(OptionsSheet, ChangingTheOutputReopensItAndPlaysOn) {
    TestProgram program(nullptr, {kMidiMapperName, "Synth B"});
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(
        program.app().openFile(QStringLiteral(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid")));
    program.app().transportCommands().playCommand();
    program.play(800);
    ASSERT_TRUE(frame.player().isPlaying());
    const int tick = frame.player().playTick();
    ASSERT_GT(tick, 0);

    program.openedOutputs.clear();
    auto sheet = sheetOf(program);
    QComboBox* outputs = sheet->general().outputList();
    ASSERT_EQ(outputs->count(), 2);
    EXPECT_EQ(outputs->currentIndex(), 0);
    outputs->setCurrentIndex(1);
    sheet->okButton()->click();
    EXPECT_EQ(settings().outputDeviceIndex, 0);
    ASSERT_FALSE(program.openedOutputs.empty());
    EXPECT_EQ(std::count(program.openedOutputs.begin(), program.openedOutputs.end(), 0),
              static_cast<long>(program.openedOutputs.size()))
        << "opened again on the new device only";
    EXPECT_EQ(program.store().readString(kSettingsSection, "midiOutDeviceStr"), "Synth B");
    EXPECT_TRUE(frame.player().isPlaying()) << "playing again on the new device";
    EXPECT_GE(frame.player().playTick(), tick) << "from where it was";
    EXPECT_LT(frame.player().playTick(), tick + 480);
    EXPECT_TRUE(program.messages.empty());
    program.app().transportCommands().stopCommand();
}

TEST(OptionsSheet, InputChoicesAreSavedAndAFailureIsShown) {
    std::vector<std::string> inputs;
    for (int i = 0; i < 64; ++i) {
        inputs.push_back("Keyboard " + std::to_string(i));
    }
    TestProgram program(nullptr, {kMidiMapperName}, inputs);
    {
        auto sheet = sheetOf(program);
        QComboBox* list = sheet->general().inputList();
        ASSERT_TRUE(list->isEnabled());
        EXPECT_EQ(list->itemText(0), QStringLiteral("No Midi input"));
        // The system has no such port, so opening it fails.
        list->setCurrentIndex(64);
        sheet->applyButton()->click();
        ASSERT_EQ(program.messages.size(), 1u);
        EXPECT_EQ(program.messages[0].text, "Cannot open Midi input device");
        EXPECT_EQ(program.messages[0].caption, "Reedtab Midi");
        EXPECT_EQ(program.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(settings().inputDeviceIndex, 63) << "kept as chosen";
        EXPECT_EQ(program.store().readString(kSettingsSection, "midiInDeviceStr"), "Keyboard 63");

        list->setCurrentIndex(0);
        sheet->okButton()->click();
    }
    EXPECT_EQ(program.messages.size(), 1u);
    EXPECT_EQ(settings().inputDeviceIndex, -1);
    EXPECT_FALSE(program.frame().input().isOpen());
    EXPECT_EQ(program.store().readString(kSettingsSection, "midiInDeviceStr"), "No Midi input");

    TestProgram withoutInputs;
    EXPECT_FALSE(sheetOf(withoutInputs)->general().inputList()->isEnabled());
}

TEST(OptionsSheet, TheVolumeButtonNeedsAMixer) {
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    qputenv("PATH", folder.path().toUtf8());
    TestProgram program;
    EXPECT_EQ(sheetOf(program)->general().volumeButton()->text(),
              QStringLiteral("Open System Volume Control"));
    EXPECT_FALSE(sheetOf(program)->general().volumeButton()->isEnabled());
    QFile mixer(folder.filePath(QStringLiteral("pavucontrol")));
    ASSERT_TRUE(mixer.open(QIODevice::WriteOnly));
    mixer.write("#!/bin/sh\n");
    mixer.close();
    mixer.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(mixerProgram(), mixer.fileName());
    EXPECT_TRUE(sheetOf(program)->general().volumeButton()->isEnabled());
    qputenv("PATH", path);
}

TEST(FramePrinting, ExportPdfWritesThePagesAndLeavesTheScreen) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(QStringLiteral(REEDTAB_SOURCE_DIR "/examples/saints.mid")));
    CReedtabView& view = frame.view();
    view.setZoomIndex(1);
    view.scrollVertically(VScroll::PageDown);
    view.grab();
    const int zoom = view.zoomIndex();
    const int centre = view.centreStep();
    const int first = view.firstTick();

    QTemporaryDir folder;
    const QString pdf = folder.filePath(QStringLiteral("saints.pdf"));
    std::string suggested;
    frame.savePathSink = [&](const std::string&, const std::string& offered) {
        suggested = offered;
        return pdf.toStdString();
    };
    settings().printBeatsPerLine = 4;
    const int pages = printJobPages(frame.printJob()).pageCount;
    ASSERT_GT(pages, 1);
    ASSERT_TRUE(frame.commands().run(ID_FILE_EXPORT_PDF));
    EXPECT_EQ(suggested, REEDTAB_SOURCE_DIR "/examples/saints.pdf");
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("%PDF"));
    EXPECT_EQ(frame.exportPdfCommand(), pages);
    EXPECT_EQ(view.zoomIndex(), zoom);
    EXPECT_EQ(view.centreStep(), centre);
    EXPECT_EQ(view.firstTick(), first);

    // Refused while playing, before any question.
    QFile::remove(pdf);
    suggested.clear();
    program.app().transportCommands().playCommand();
    EXPECT_EQ(frame.exportPdfCommand(), -1);
    EXPECT_TRUE(suggested.empty());
    EXPECT_FALSE(QFile::exists(pdf));
    program.app().transportCommands().stopCommand();
}

} // namespace
} // namespace reedtab

// The options sheet's SoundFont chooser over a whole program: a file chosen is read beside
// the SoundFont in use when the sheet is confirmed and then swapped in, the song playing on;
// a file that is no SoundFont, or one that fails to load, is refused with a message and the
// old one kept; where the synthesizer cannot swap, the choice waits for the next start.

#include "apptestsupport.h"

#include "app/transportcontroller.h"

#include "app/options.h"
#include "app/soundfontswitch.h"
#include "document/reedtabdoc.h"
#include "playback/streamplayer.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace reedtab {
namespace {

using testing::TestProgram;

// A file named `name` in `folder` that starts as a SoundFont does, or holds plain text.
QString writeFile(const QTemporaryDir& folder, const char* name, bool soundFontHeader) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(soundFontHeader ? QByteArray("RIFF\x10\x00\x00\x00sfbkLIST", 16)
                               : QByteArray("la la la, not a SoundFont\n"));
    return path;
}

// The sheet, its SoundFont chooser answering `path`.
std::unique_ptr<CProperties> sheetChoosing(TestProgram& program, const QString& path) {
    OptionsChoosers choosers;
    choosers.soundFont = [path](const std::string&, QWidget*) {
        return std::optional<std::string>(path.toStdString());
    };
    return std::make_unique<CProperties>(program.frame(), program.app().outputDevices(),
                                         program.app().inputDevices(), choosers);
}

bool allMapper(const std::vector<int>& opened) {
    return !opened.empty() &&
           std::all_of(opened.begin(), opened.end(), [](int index) { return index == -1; });
}

TEST(SoundFontChooser, ASoundFontChosenIsSwappedInWhileTheSongPlaysOn) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    testing::TestOutputProvider& outputs = program.outputs();
    SoundFontSwitch& fonts = frame.soundFonts();
    ASSERT_TRUE(
        program.app().openFile(QStringLiteral(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid")));
    program.app().transportCommands().playCommand();
    program.play(800);
    ASSERT_TRUE(frame.player().isPlaying());
    const int tick = frame.player().playTick();

    QTemporaryDir folder;
    const QString piano = writeFile(folder, "piano.sf2", true);
    {
        auto sheet = sheetChoosing(program, piano);
        CPropGeneral& general = sheet->general();
        EXPECT_TRUE(general.soundFontLine()->text().startsWith(QStringLiteral("System default")));
        EXPECT_FALSE(general.soundFontNote()->isVisibleTo(&general)) << "it changes at once";
        general.soundFontBrowseButton()->click();
        EXPECT_EQ(general.soundFontLine()->text(), piano);
        EXPECT_TRUE(sheet->applyButton()->isEnabled());
        EXPECT_TRUE(outputs.soundFontLoads.empty()) << "read when the sheet is confirmed";
        program.openedOutputs.clear();
        sheet->okButton()->click();
    }
    ASSERT_EQ(outputs.soundFontLoads, std::vector<std::string>{piano.toStdString()});
    EXPECT_TRUE(fonts.loading());
    fonts.poll();
    EXPECT_TRUE(fonts.loading());
    EXPECT_TRUE(frame.player().isPlaying()) << "the old SoundFont plays while the new is read";
    EXPECT_TRUE(program.openedOutputs.empty());
    EXPECT_EQ(settings().soundFont, "");

    outputs.load = SoundFontLoad::Loaded;
    fonts.poll();
    EXPECT_FALSE(fonts.loading());
    EXPECT_EQ(outputs.adopted, std::vector<std::string>{piano.toStdString()});
    EXPECT_TRUE(allMapper(program.openedOutputs)) << "the synthesizer's device opened again";
    EXPECT_TRUE(frame.player().isPlaying()) << "playing on";
    EXPECT_GE(frame.player().playTick(), tick);
    EXPECT_LT(frame.player().playTick(), tick + 480);
    EXPECT_EQ(settings().soundFont, piano.toStdString());
    EXPECT_EQ(program.store().readString(kSettingsSection, "soundFont"), piano.toStdString());
    EXPECT_TRUE(program.messages.empty());
    program.app().transportCommands().stopCommand();

    // The next visit shows the file; System Default goes back to the system's SoundFont, and
    // Cancel keeps what there is.
    auto again = sheetChoosing(program, piano);
    CPropGeneral& general = again->general();
    EXPECT_EQ(general.soundFontLine()->text(), piano);
    general.soundFontDefaultButton()->click();
    EXPECT_TRUE(general.soundFontLine()->text().startsWith(QStringLiteral("System default")));
    again->cancelButton()->click();
    EXPECT_EQ(outputs.soundFontLoads.size(), 1u);
    again = sheetChoosing(program, piano);
    again->general().soundFontDefaultButton()->click();
    again->okButton()->click();
    EXPECT_EQ(outputs.soundFontLoads.back(), "");
    outputs.load = SoundFontLoad::Loaded;
    fonts.poll();
    EXPECT_EQ(settings().soundFont, "");
    EXPECT_EQ(program.store().readString(kSettingsSection, "soundFont"), "");
}

TEST(SoundFontChooser, AFileThatIsNoSoundFontOrWillNotLoadLeavesTheOldOne) {
    auto store = std::make_unique<MemorySettingsStore>();
    store->writeString(kSettingsSection, "soundFont", "/fonts/old.sf2");
    TestProgram program(std::move(store));
    testing::TestOutputProvider& outputs = program.outputs();
    QTemporaryDir folder;

    // Refused at once: the chooser's file is text, or gone.
    const QString text = writeFile(folder, "notes.sf2", false);
    const QString gone = folder.filePath(QStringLiteral("gone.sf2"));
    for (const QString& path : {text, gone}) {
        auto sheet = sheetChoosing(program, path);
        sheet->general().soundFontBrowseButton()->click();
        EXPECT_EQ(sheet->general().soundFontLine()->text(), QStringLiteral("/fonts/old.sf2"));
        EXPECT_FALSE(sheet->applyButton()->isEnabled());
        sheet->okButton()->click();
    }
    ASSERT_EQ(program.messages.size(), 2u);
    EXPECT_NE(program.messages[0].text.find("is not a SoundFont"), std::string::npos)
        << program.messages[0].text;
    EXPECT_NE(program.messages[0].text.find(text.toStdString()), std::string::npos);
    EXPECT_NE(program.messages[1].text.find("Cannot read the SoundFont"), std::string::npos)
        << program.messages[1].text;
    EXPECT_EQ(program.messages[1].caption, "Reedtab Midi");
    EXPECT_EQ(program.messages[1].icon, MessageIcon::Warning);
    EXPECT_TRUE(outputs.soundFontLoads.empty());

    // Looks like one but will not load: said when the synthesizer has tried it.
    const QString broken = writeFile(folder, "broken.sf2", true);
    auto sheet = sheetChoosing(program, broken);
    sheet->general().soundFontBrowseButton()->click();
    program.openedOutputs.clear();
    sheet->okButton()->click();
    ASSERT_EQ(outputs.soundFontLoads.size(), 1u);
    outputs.load = SoundFontLoad::Failed;
    outputs.loadResult = SoundFontDamaged;
    program.frame().soundFonts().poll();
    ASSERT_EQ(program.messages.size(), 3u);
    EXPECT_NE(program.messages[2].text.find("could not be loaded"), std::string::npos)
        << program.messages[2].text;
    EXPECT_NE(program.messages[2].text.find("The SoundFont in use is kept."), std::string::npos);
    EXPECT_TRUE(outputs.adopted.empty());
    EXPECT_EQ(outputs.dropped, 1);
    EXPECT_TRUE(program.openedOutputs.empty()) << "the player never let go of its device";
    EXPECT_EQ(settings().soundFont, "/fonts/old.sf2");
    EXPECT_EQ(program.store().readString(kSettingsSection, "soundFont"), "/fonts/old.sf2");
}

TEST(SoundFontChooser, ARequestMadeDuringALoadWaitsForItAndReplacesIt) {
    TestProgram program;
    testing::TestOutputProvider& outputs = program.outputs();
    SoundFontSwitch& fonts = program.frame().soundFonts();
    fonts.change("/fonts/a.sf2");
    fonts.change("/fonts/b.sf2");
    EXPECT_EQ(outputs.soundFontLoads, std::vector<std::string>{"/fonts/a.sf2"});
    outputs.load = SoundFontLoad::Loaded;
    fonts.poll();
    EXPECT_EQ(outputs.dropped, 1) << "the first, no longer wanted";
    EXPECT_EQ(outputs.soundFontLoads, (std::vector<std::string>{"/fonts/a.sf2", "/fonts/b.sf2"}));
    EXPECT_TRUE(fonts.loading());
    EXPECT_EQ(settings().soundFont, "");
    outputs.load = SoundFontLoad::Loaded;
    fonts.poll();
    EXPECT_EQ(outputs.adopted, std::vector<std::string>{"/fonts/b.sf2"});
    EXPECT_EQ(settings().soundFont, "/fonts/b.sf2");
}

TEST(SoundFontChooser, WhereTheSynthesizerCannotSwapTheChoiceWaitsForTheNextStart) {
    TestProgram program;
    program.outputs().loadsWhileRunning = false;
    QTemporaryDir folder;
    const QString piano = writeFile(folder, "piano.sf2", true);
    auto sheet = sheetChoosing(program, piano);
    EXPECT_TRUE(sheet->general().soundFontNote()->isVisibleTo(&sheet->general()));
    sheet->general().soundFontBrowseButton()->click();
    sheet->okButton()->click();
    EXPECT_TRUE(program.outputs().soundFontLoads.empty());
    EXPECT_FALSE(program.frame().soundFonts().loading());
    EXPECT_EQ(settings().soundFont, piano.toStdString());
    EXPECT_EQ(program.store().readString(kSettingsSection, "soundFont"), piano.toStdString());
}

} // namespace
} // namespace reedtab

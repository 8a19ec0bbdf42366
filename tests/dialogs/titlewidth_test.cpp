// Every dialog of the program holds its whole title in the title bar, as the window manager
// draws it beside its buttons ("Silenc... ength" was cut): the longest titles each dialog is
// given are shown, and each dialog must be wide enough for its title.

#include "dialogtesting.h"
#include "documenttesting.h"

#include "dialogs/aboutdlg.h"
#include "dialogs/editnewtrack.h"
#include "dialogs/edittoolbar.h"
#include "dialogs/fileproperties.h"
#include "dialogs/harpfinderdlg.h"
#include "dialogs/mapnotesdlg.h"
#include "dialogs/posentry.h"
#include "dialogs/programentry.h"
#include "dialogs/speedtrainerdlg.h"
#include "dialogs/stringentry.h"
#include "dialogs/titlewidth.h"
#include "dialogs/trackpropdlg.h"
#include "dialogs/valueentry.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"

#include <QFontMetrics>

#include <functional>
#include <memory>
#include <vector>

namespace reedtab::testing {
namespace {

struct TitledDialog {
    QString title;
    std::function<std::unique_ptr<QDialog>()> make;
};

class TitleWidthTest : public ::testing::Test {
protected:
    TitleWidthTest() {
        fitDialogsToTheirTitles();
        MidiSong song;
        beginSong(song, 2);
        addNote(song, 1, 0, 60, 0, 480);
        finishSong(song, 1920);
        f.open(song);
    }
    ~TitleWidthTest() override { settings() = Settings{}; }

    // Each dialog with the longest title the program gives it.
    std::vector<TitledDialog> dialogs() {
        const auto titled = [](std::unique_ptr<QDialog> dialog, const QString& title) {
            dialog->setWindowTitle(title);
            return dialog;
        };
        return {
            {"About Reedtab Midi",
             [] { return std::make_unique<CAboutDlg>(QStringLiteral("1.0"), QString()); }},
            {"New Track", [] { return std::make_unique<CEditNewTrack>(); }},
            {"Edit Toolbar",
             [this] { return std::make_unique<CEditToolbar>(f.doc, f.ui, store, nullptr); }},
            {"MIDI File Properties",
             [this] { return std::make_unique<CFileProperties>(f.doc, f.ui); }},
            {"Track Properties",
             [this] { return std::make_unique<CTrackPropDlg>(f.doc, f.ui, 1); }},
            {"Which Harp?",
             [this] { return std::make_unique<CHarpFinderDlg>(f.doc.song, -1, -1); }},
            {"Map Notes", [] { return std::make_unique<CMapNotesDialog>(); }},
            {"Speed Trainer", [] { return std::make_unique<CSpeedTrainerDlg>(); }},
            {"Silence Length",
             [=] { return titled(std::make_unique<CPosEntry>(), "Silence Length"); }},
            {"Mark Beginning",
             [=] { return titled(std::make_unique<CPosEntry>(), "Mark Beginning"); }},
            {"Tempo", [=] { return titled(std::make_unique<CPosValueEntry>(), "Tempo"); }},
            {"GM Program", [=] { return titled(std::make_unique<CProgramEntry>(), "GM Program"); }},
            {"Change Ch", [=] { return titled(std::make_unique<CValueEntry>(), "Change Ch"); }},
            {"Add Text", [] { return std::make_unique<CStringEntry>("Add Text", "Text"); }},
        };
    }

    DocFixture f;
    MemorySettingsStore store;
};

TEST_F(TitleWidthTest, EveryDialogIsWideEnoughForItsTitleAndTheTitleBarsButtons) {
    // The window's icon and three buttons, a line of the default font each at the least.
    const int buttons = 4 * QFontMetrics(QApplication::font()).height();
    for (const TitledDialog& entry : dialogs()) {
        std::unique_ptr<QDialog> dialog = entry.make();
        ASSERT_EQ(dialog->windowTitle(), entry.title);
        dialog->show();
        QFont bold = QApplication::font();
        bold.setBold(true);
        const int text = QFontMetrics(bold).horizontalAdvance(entry.title);
        EXPECT_GE(dialog->width(), text + buttons) << entry.title.toStdString();
        EXPECT_GE(dialog->width(), dialog->sizeHint().width())
            << entry.title.toStdString() << ": widening never narrows a dialog";
        dialog->close();
    }
}

TEST_F(TitleWidthTest, ALongerTitleWidensAShownDialogAndLeavesItsHeight) {
    CPosEntry entry;
    entry.setWindowTitle(QStringLiteral("Tempo"));
    entry.show();
    const QSize shown = entry.size();
    const QString longer = QStringLiteral("A much longer title than any dialog has");
    entry.setWindowTitle(longer);
    EXPECT_GE(entry.width(), titleBarWidth(longer));
    EXPECT_GT(entry.width(), shown.width());
    EXPECT_EQ(entry.height(), shown.height());
}

} // namespace
} // namespace reedtab::testing

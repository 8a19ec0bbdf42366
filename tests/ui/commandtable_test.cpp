// The command table on its own: registration, refusals, running and the state update.

#include "ui/commands.h"
#include "ui/commandtable.h"

#include <QAction>
#include <QKeySequence>
#include <QWidget>

#include <gtest/gtest.h>

namespace reedtab {
namespace {

TEST(CommandTable, ARegisteredCommandTakesItsTextsShortcutAndCheckMarkFromTheList) {
    QWidget owner;
    CommandTable table(&owner);
    int runs = 0;
    QAction* loop = table.add(ID_PLAY_LOOP, [&] { ++runs; });
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->text(), QStringLiteral("&Loop"));
    EXPECT_TRUE(loop->isCheckable());
    QAction* open = table.add(ID_FILE_OPEN, [&] { ++runs; });
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->statusTip(), QStringLiteral("Open an existing document"));
    EXPECT_EQ(open->toolTip(), QStringLiteral("Open"));
    EXPECT_EQ(open->whatsThis(), open->statusTip()) << "Shift+F1 explains it";
    EXPECT_EQ(open->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_FALSE(open->isCheckable());
    open->trigger();
    EXPECT_TRUE(table.run(ID_PLAY_LOOP));
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(table.registrationFaults(), 0);
}

TEST(CommandTable, DuplicateUnknownAndHandlerlessRegistrationsAreRefusedAndCounted) {
    QWidget owner;
    CommandTable table(&owner);
    int first = 0;
    int second = 0;
    ASSERT_NE(table.add(ID_FILE_NEW, [&] { ++first; }), nullptr);
    EXPECT_EQ(table.add(ID_FILE_NEW, [&] { ++second; }), nullptr);
    EXPECT_EQ(table.add(424242, [] {}), nullptr) << "an id the list does not know";
    EXPECT_EQ(table.add(ID_FILE_SAVE, CommandTable::Handler{}), nullptr);
    EXPECT_EQ(table.registrationFaults(), 3);
    EXPECT_TRUE(table.run(ID_FILE_NEW));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0) << "the first registration keeps the command";
    EXPECT_FALSE(table.run(424242)) << "an unknown id runs nothing, not some other handler";
    EXPECT_EQ(table.action(424242), nullptr);
}

TEST(CommandTable, StatesFollowThePredicatesAndDisabledCommandsDoNotRun) {
    QWidget owner;
    CommandTable table(&owner);
    bool enabled = false;
    bool checked = true;
    int runs = 0;
    table.add(
        ID_PLAY_METRONOME, [&] { ++runs; }, [&] { return enabled; }, [&] { return checked; });
    table.addUnavailable(ID_FILE_PRINT);
    table.updateStates();
    QAction* metronome = table.action(ID_PLAY_METRONOME);
    EXPECT_FALSE(metronome->isEnabled());
    EXPECT_TRUE(metronome->isChecked());
    EXPECT_FALSE(table.run(ID_PLAY_METRONOME));
    EXPECT_EQ(runs, 0);
    enabled = true;
    checked = false;
    table.updateStates();
    EXPECT_TRUE(metronome->isEnabled());
    EXPECT_FALSE(metronome->isChecked());
    EXPECT_TRUE(table.run(ID_PLAY_METRONOME));
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(table.action(ID_FILE_PRINT)->isEnabled());
    EXPECT_FALSE(table.run(ID_FILE_PRINT));
    EXPECT_EQ(table.unavailable(), std::vector<int>{ID_FILE_PRINT});
}

TEST(CommandTable, ShortcutsAndToolTipsComeFromTheMenuText) {
    EXPECT_EQ(CommandTable::shortcutOf(QStringLiteral("&Delete\tDEL")),
              QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(CommandTable::shortcutOf(QStringLiteral("C&rop\tAlt+DEL")),
              QKeySequence(Qt::ALT | Qt::Key_Delete));
    EXPECT_TRUE(CommandTable::shortcutOf(QStringLiteral("&Play\t[space]")).isEmpty());
    EXPECT_TRUE(CommandTable::shortcutOf(QStringLiteral("Re&wind")).isEmpty());
    EXPECT_EQ(CommandTable::toolTipOf(QStringLiteral("&Insert Silence...\tCtrl+I")),
              QStringLiteral("Insert Silence"));
}

} // namespace
} // namespace reedtab

// The menus and the toolbar the frame builds from its tables and the commands its components
// registered: every command where it has always been, separators and submenus included.

#include "apptestsupport.h"

#include "tools/toolwindows.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "view/reedtabview.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace reedtab {
namespace {

using testing::TestProgram;

constexpr int kSep = 0;
// A submenu's own entry, which has no command.
constexpr int kSub = -1;

std::vector<int> itemsOf(const QMenu& menu) {
    std::vector<int> items;
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            items.push_back(kSep);
        } else if (action->menu()) {
            items.push_back(kSub);
        } else {
            items.push_back(action->data().toInt());
        }
    }
    return items;
}

const QMenu* submenu(const QMenu& menu, const QString& title) {
    for (const QAction* action : menu.actions()) {
        if (action->menu() && action->text() == title) {
            return action->menu();
        }
    }
    return nullptr;
}

TEST(FrameMenus, EveryMenuListsItsCommandsInTheirPlaces) {
    TestProgram program;
    const QList<QAction*> menus = program.frame().menuBar()->actions();
    ASSERT_EQ(menus.size(), 6);
    std::vector<QString> titles;
    for (const QAction* menu : menus) {
        titles.push_back(menu->text());
    }
    EXPECT_EQ(titles,
              (std::vector<QString>{"&File", "Ed&it", "&View", "Pla&y", "T&ools", "Hel&p"}));
    const QMenu& file = *menus[0]->menu();
    EXPECT_EQ(itemsOf(file),
              (std::vector<int>{ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_RELOAD, ID_FILE_SAVE,
                                ID_FILE_SAVE_AS, kSep, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW,
                                ID_FILE_PRINT_SETUP, ID_FILE_EXPORT_PDF, kSep,
                                ID_FILE_EXPORT_TAB_TEXT, ID_FILE_EXPORT_MUSICXML,
                                ID_FILE_IMPORT_TAB_TEXT, kSep, kSub, kSep, ID_APP_EXIT}));
    const QMenu* recent = submenu(file, QStringLiteral("Recent File"));
    ASSERT_NE(recent, nullptr);
    EXPECT_EQ(recent->menuAction()->statusTip(), QStringLiteral("Open this document"));
    EXPECT_EQ(itemsOf(*menus[1]->menu()),
              (std::vector<int>{ID_EDIT_UNDO, ID_EDIT_REDO, kSep, ID_EDIT_CUT, ID_EDIT_COPY,
                                ID_EDIT_PASTE, ID_EDIT_DELETE, ID_EDIT_CROP, ID_EDIT_INSERT_SILENCE,
                                kSep, ID_EDIT_BEGIN_MARK, ID_EDIT_END_MARK, kSep, ID_EDIT_MODE,
                                ID_FILE_PROPERTIES}));
    const QMenu& view = *menus[2]->menu();
    EXPECT_EQ(itemsOf(view),
              (std::vector<int>{ID_VIEW_MIXER, ID_VIEW_PIANO, ID_VIEW_LYRICS, ID_VIEW_PLAYLIST,
                                ID_VIEW_DIATONIC, ID_VIEW_CHROMATIC, ID_VIEW_EVENTS, ID_VIEW_LISTEN,
                                kSep, kSub}));
    const QMenu* zoom = submenu(view, QStringLiteral("&Zoom"));
    ASSERT_NE(zoom, nullptr);
    std::vector<int> largestFirst;
    for (auto it = kZoomCommands.rbegin(); it != kZoomCommands.rend(); ++it) {
        largestFirst.push_back(it->id);
    }
    EXPECT_EQ(itemsOf(*zoom), largestFirst);
    EXPECT_EQ(
        itemsOf(*menus[3]->menu()),
        (std::vector<int>{ID_PLAY_PLAY, ID_PLAY_STOP, ID_PLAY_REWIND, ID_PLAY_PREVIOUS,
                          ID_PLAY_NEXT, kSep, ID_PLAY_METRONOME, ID_PLAY_COUNT_IN, ID_PLAY_LOOP,
                          ID_PLAY_MIDI_CLOCK, ID_PLAY_FILTER_PROGRAMS, kSep, ID_SPEED_TRAINER}));
    const QMenu& tools = *menus[4]->menu();
    EXPECT_EQ(itemsOf(tools), (std::vector<int>{kSub, ID_APPLY_TEMPO_CHANGE, ID_TAB_TEXT_TRACK,
                                                ID_VIEW_DUMP, ID_MAP_NOTES, ID_WHICH_HARP,
                                                ID_OPTIMIZE_FINGERINGS, kSep, ID_OPTIONS}));
    const QMenu* transpose = submenu(tools, QStringLiteral("T&ranspose"));
    ASSERT_NE(transpose, nullptr);
    EXPECT_EQ(itemsOf(*transpose),
              (std::vector<int>{ID_TRANSPOSE_UP, ID_TRANSPOSE_DOWN, ID_TRANSPOSE_OCTAVE_UP,
                                ID_TRANSPOSE_OCTAVE_DOWN, ID_TRANSPOSE_SHOWN_OCTAVE_UP,
                                ID_TRANSPOSE_SHOWN_OCTAVE_DOWN}));
    EXPECT_EQ(itemsOf(*menus[5]->menu()), (std::vector<int>{ID_HELP_TOPICS, ID_APP_ABOUT}));
}

TEST(FrameMenus, EveryMenuCommandIsListedOnceAndEveryListedCommandIsRegistered) {
    TestProgram program;
    std::multiset<int> listed;
    std::vector<const QMenu*> open;
    for (const QAction* menu : program.frame().menuBar()->actions()) {
        open.push_back(menu->menu());
    }
    while (!open.empty()) {
        const QMenu* menu = open.back();
        open.pop_back();
        for (const QAction* action : menu->actions()) {
            if (action->menu()) {
                open.push_back(action->menu());
            } else if (!action->isSeparator() && menu->title() != QStringLiteral("Recent File")) {
                listed.insert(action->data().toInt());
            }
        }
    }
    for (const int id : program.frame().commands().ids()) {
        EXPECT_EQ(listed.count(id), id == kZoomInCommand || id == kZoomOutCommand ? 0U : 1U)
            << id << ": only the toolbar shows Zoom In and Out";
    }
    EXPECT_EQ(listed.size() + 2, program.frame().commands().ids().size());
}

TEST(FrameToolBar, ButtonsAndSeparatorsInOrderEachWithItsIcon) {
    TestProgram program;
    const auto* bar = program.frame().findChild<QToolBar*>(QStringLiteral("toolbar128"));
    ASSERT_NE(bar, nullptr);
    std::vector<int> items;
    for (const QAction* action : bar->actions()) {
        if (action->isSeparator()) {
            items.push_back(kSep);
        } else if (action->data().isValid()) {
            items.push_back(action->data().toInt());
            EXPECT_FALSE(action->icon().isNull()) << action->data().toInt();
        }
    }
    EXPECT_EQ(items, (std::vector<int>{ID_FILE_OPEN,
                                       ID_FILE_SAVE,
                                       ID_FILE_PRINT,
                                       kSep,
                                       ID_VIEW_MIXER,
                                       ID_VIEW_PIANO,
                                       ID_VIEW_DIATONIC,
                                       ID_VIEW_CHROMATIC,
                                       ID_VIEW_LYRICS,
                                       ID_VIEW_EVENTS,
                                       ID_VIEW_LISTEN,
                                       kSep,
                                       ID_EDIT_MODE,
                                       ID_PLAY_LOOP,
                                       ID_PLAY_COUNT_IN,
                                       ID_PLAY_METRONOME,
                                       kSep,
                                       ID_PLAY_PREVIOUS,
                                       ID_PLAY_REWIND,
                                       ID_PLAY_STOP,
                                       ID_PLAY_PLAY,
                                       ID_PLAY_NEXT,
                                       ID_VIEW_PLAYLIST,
                                       kSep,
                                       kZoomOutCommand,
                                       kZoomInCommand,
                                       kSep}));
}

} // namespace
} // namespace reedtab

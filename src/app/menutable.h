#pragma once

// The main window's menus and toolbar as data: which commands each menu lists, in which order,
// and the toolbar's buttons with their icons. The frame builds both from these tables and the
// actions its components registered in the command table.

#include <span>
#include <vector>

namespace reedtab {

/// Special items of a menu or the toolbar.
inline constexpr int kSeparator = 0;
/// The "Recent File" submenu of the File menu.
inline constexpr int kRecentFilesItem = -1;
/// Every tool window of the registry whose toggle the list does not name itself.
inline constexpr int kOtherToolWindows = -2;
/// Submenu n of the menu (`MenuSpec::submenus`).
constexpr int submenuItem(int n) {
    return -100 - n;
}

/// One menu: its title with the mnemonic, and its items (command ids and the special items).
struct MenuSpec {
    const char* title;
    std::vector<int> items;
    std::vector<MenuSpec> submenus = {};
};

/// One toolbar button: the command, and its icon ":/app/icons/NAME.svg" (null: the command's
/// own, as a tool window's toggle takes its registry name).
struct ToolbarButton {
    int id;
    const char* icon = nullptr;
};

/// The menu bar, left to right.
const std::vector<MenuSpec>& menuBarSpec();
/// The toolbar's buttons before the tempo slider, left to right; their icons show in the menus
/// too.
std::span<const ToolbarButton> toolbarSpec();

} // namespace reedtab

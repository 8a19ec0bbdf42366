#include "app/menutable.h"

#include "ui/commands.h"
#include "view/reedtabview.h"

#include <array>

namespace reedtab {

namespace {

std::vector<int> zoomItems() {
    std::vector<int> items;
    // Largest first, as the menu has always listed them.
    for (auto it = kZoomCommands.rbegin(); it != kZoomCommands.rend(); ++it) {
        items.push_back(it->id);
    }
    return items;
}

const std::array<ToolbarButton, 27> kToolbar{{
    {ID_FILE_OPEN, "open"},
    {ID_FILE_SAVE, "save"},
    {ID_FILE_PRINT, "print"},
    {kSeparator},
    {ID_VIEW_MIXER},
    {ID_VIEW_PIANO},
    {ID_VIEW_DIATONIC},
    {ID_VIEW_CHROMATIC},
    {ID_VIEW_LYRICS},
    {ID_VIEW_EVENTS},
    {kOtherToolWindows},
    {kSeparator},
    {ID_EDIT_MODE, "editmode"},
    {ID_PLAY_LOOP, "loop"},
    {ID_PLAY_COUNT_IN, "countin"},
    {ID_PLAY_METRONOME, "metronome"},
    {kSeparator},
    {ID_PLAY_PREVIOUS, "previous"},
    {ID_PLAY_REWIND, "rewind"},
    {ID_PLAY_STOP, "stop"},
    {ID_PLAY_PLAY, "play"},
    {ID_PLAY_NEXT, "next"},
    {ID_VIEW_PLAYLIST, "playlist"},
    {kSeparator},
    {kZoomOutCommand, "zoomout"},
    {kZoomInCommand, "zoomin"},
    {kSeparator},
}};

} // namespace

const std::vector<MenuSpec>& menuBarSpec() {
    static const std::vector<MenuSpec> menus{
        {"&File",
         {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_RELOAD, ID_FILE_SAVE, ID_FILE_SAVE_AS, kSeparator,
          ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP, ID_FILE_EXPORT_PDF, kSeparator,
          ID_FILE_EXPORT_TAB_TEXT, ID_FILE_EXPORT_MUSICXML, ID_FILE_IMPORT_TAB_TEXT, kSeparator,
          kRecentFilesItem, kSeparator, ID_APP_EXIT}},
        // The menus' mnemonics stay clear of the commands' Alt accelerators (Alt+E is MIDI
        // Events, Alt+H the diatonic harmonica, Alt+L the playlist).
        {"Ed&it",
         {ID_EDIT_UNDO, ID_EDIT_REDO, kSeparator, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE,
          ID_EDIT_DELETE, ID_EDIT_CROP, ID_EDIT_INSERT_SILENCE, kSeparator, ID_EDIT_BEGIN_MARK,
          ID_EDIT_END_MARK, kSeparator, ID_EDIT_MODE, ID_FILE_PROPERTIES}},
        {"&View",
         {ID_VIEW_MIXER, ID_VIEW_PIANO, ID_VIEW_LYRICS, ID_VIEW_PLAYLIST, ID_VIEW_DIATONIC,
          ID_VIEW_CHROMATIC, ID_VIEW_EVENTS, kOtherToolWindows, kSeparator, submenuItem(0)},
         {{"&Zoom", zoomItems()}}},
        {"Pla&y",
         {ID_PLAY_PLAY, ID_PLAY_STOP, ID_PLAY_REWIND, ID_PLAY_PREVIOUS, ID_PLAY_NEXT, kSeparator,
          ID_PLAY_METRONOME, ID_PLAY_COUNT_IN, ID_PLAY_LOOP, ID_PLAY_MIDI_CLOCK,
          ID_PLAY_FILTER_PROGRAMS, kSeparator, ID_SPEED_TRAINER}},
        {"T&ools",
         {submenuItem(0), ID_APPLY_TEMPO_CHANGE, ID_TAB_TEXT_TRACK, ID_VIEW_DUMP, ID_MAP_NOTES,
          ID_WHICH_HARP, ID_OPTIMIZE_FINGERINGS, kSeparator, ID_OPTIONS},
         {{"T&ranspose",
           {ID_TRANSPOSE_UP, ID_TRANSPOSE_DOWN, ID_TRANSPOSE_OCTAVE_UP, ID_TRANSPOSE_OCTAVE_DOWN,
            ID_TRANSPOSE_SHOWN_OCTAVE_UP, ID_TRANSPOSE_SHOWN_OCTAVE_DOWN}}}},
        {"Hel&p", {ID_HELP_TOPICS, ID_APP_ABOUT}},
    };
    return menus;
}

std::span<const ToolbarButton> toolbarSpec() {
    return kToolbar;
}

} // namespace reedtab

#pragma once

#include <span>
#include <string_view>

namespace reedtab {

/// Command ids of the menus and toolbar; the numbers are the ones settings, tool windows and
/// posted commands use. The zoom commands are the view's (`kZoomCommands`, `kZoomInCommand`,
/// `kZoomOutCommand`); the tool windows' toggles take their texts from the tool-window registry
/// (`toolWindowKinds`).
enum Command : int {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_RELOAD = 182,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_EXPORT_PDF = 32890, ///< the printed pages as a PDF file
    ID_WHICH_HARP = 32891,
    ID_SPEED_TRAINER = 32892,
    ID_FILE_EXPORT_TAB_TEXT = 32893, ///< one track's text tablature as players post it
    ID_FILE_IMPORT_TAB_TEXT = 32894, ///< a text tablature opened as a new song
    ID_FILE_EXPORT_MUSICXML = 32895, ///< the song as a MusicXML score
    ID_OPTIMIZE_FINGERINGS = 32896,  ///< fingerings chosen for a track's whole phrase
    ID_FILE_MRU_FILE1 = 57616,
    ID_APP_EXIT = 57665,
    ID_EDIT_UNDO = 57643,
    ID_EDIT_REDO = 57644,
    ID_EDIT_CUT = 57635,
    ID_EDIT_COPY = 57634,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_DELETE = 32840,
    ID_EDIT_CROP = 192,
    ID_EDIT_INSERT_SILENCE = 210,
    ID_EDIT_BEGIN_MARK = 188,
    ID_EDIT_END_MARK = 189,
    ID_EDIT_MODE = 196,
    ID_FILE_PROPERTIES = 201,
    ID_VIEW_MIXER = 32779,
    ID_VIEW_PIANO = 135,
    ID_VIEW_LYRICS = 156,
    ID_VIEW_PLAYLIST = 32776,
    ID_VIEW_DIATONIC = 140,
    ID_VIEW_CHROMATIC = 146,
    ID_VIEW_EVENTS = 212,
    ID_VIEW_LISTEN = 213,
    ID_PLAY_PLAY = 32774,
    ID_PLAY_STOP = 32773,
    ID_PLAY_REWIND = 32772,
    ID_PLAY_PREVIOUS = 32771,
    ID_PLAY_NEXT = 32775,
    ID_PLAY_METRONOME = 180,
    ID_PLAY_COUNT_IN = 32853,
    ID_PLAY_LOOP = 32842,
    ID_PLAY_MIDI_CLOCK = 32834,
    ID_PLAY_FILTER_PROGRAMS = 32837,
    ID_TRANSPOSE_UP = 147,
    ID_TRANSPOSE_DOWN = 148,
    ID_TRANSPOSE_OCTAVE_UP = 176,
    ID_TRANSPOSE_OCTAVE_DOWN = 177,
    ID_TRANSPOSE_SHOWN_OCTAVE_UP = 173,
    ID_TRANSPOSE_SHOWN_OCTAVE_DOWN = 174,
    ID_APPLY_TEMPO_CHANGE = 208,
    ID_TAB_TEXT_TRACK = 193,
    ID_VIEW_DUMP = 179,
    ID_MAP_NOTES = 32855,
    ID_OPTIONS = 155,
    ID_HELP_TOPICS = 57670,
    ID_APP_ABOUT = 57664,
    ID_TEMPO_SLIDER = 2000,
    ID_TAB_TYPE = 32782,
};

/// One menu command: its id, the menu text with the shortcut after a tab, the status prompt
/// (empty when the command has none), and whether it shows a check mark.
struct CommandInfo {
    int id;
    std::string_view text;
    std::string_view prompt;
    bool checkable = false;
};

/// The menu commands whose texts live here, in menu order.
std::span<const CommandInfo> commandTable();

/// The entry of `id`, or nullptr.
const CommandInfo* findCommand(int id);

/// The toolbar's prompts for the ids that have no menu entry (the slider and the selector).
std::string_view toolbarPrompt(int id);

} // namespace reedtab

#include "ui/commands.h"

#include <array>

namespace reedtab {

namespace {

constexpr std::array kCommands{
    CommandInfo{ID_FILE_NEW, "&New\tCtrl+N", "Create a new document"},
    CommandInfo{ID_FILE_OPEN, "&Open...\tCtrl+O", "Open an existing document"},
    CommandInfo{ID_FILE_RELOAD, "&Reload\tCtrl+R", "Reload current file"},
    CommandInfo{ID_FILE_SAVE, "&Save\tCtrl+S", "Save the active document"},
    CommandInfo{ID_FILE_SAVE_AS, "Save &As...", "Save the active document with a new name"},
    CommandInfo{ID_FILE_PRINT, "&Print...\tCtrl+P", "Print the active document"},
    CommandInfo{ID_FILE_PRINT_PREVIEW, "Print Pre&view", "Display full pages"},
    CommandInfo{ID_FILE_PRINT_SETUP, "Print Set&up...", "Change the printer and printing options"},
    CommandInfo{ID_FILE_EXPORT_PDF, "Export P&DF...", "Save the printed pages as a PDF file"},
    CommandInfo{ID_FILE_EXPORT_TAB_TEXT, "Export Ta&blature Text...",
                "Save a track's tablature as text to share"},
    CommandInfo{ID_FILE_EXPORT_MUSICXML, "Export &MusicXML...",
                "Save the song as a MusicXML score for notation programs"},
    CommandInfo{ID_FILE_IMPORT_TAB_TEXT, "&Import Tablature Text...",
                "Open a text tablature as a new song"},
    CommandInfo{ID_FILE_MRU_FILE1, "Recent File", "Open this document"},
    CommandInfo{ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents"},
    CommandInfo{ID_EDIT_UNDO, "&Undo\tCtrl+Z", "Undo the last action"},
    CommandInfo{ID_EDIT_REDO, "&Redo\tCtrl+Y", "Redo the last action undone"},
    CommandInfo{ID_EDIT_CUT, "Cu&t\tCtrl+X", "Cut the selection and put it on the Clipboard"},
    CommandInfo{ID_EDIT_COPY, "&Copy\tCtrl+C", "Copy the selection and put it on the Clipboard"},
    CommandInfo{ID_EDIT_PASTE, "&Paste\tCtrl+V", "Insert Clipboard contents"},
    CommandInfo{ID_EDIT_DELETE, "&Delete\tDEL", "Delete selected range"},
    CommandInfo{ID_EDIT_CROP, "Cr&op\tAlt+DEL", "Crop file keeping only the selection"},
    CommandInfo{ID_EDIT_INSERT_SILENCE, "&Insert Silence...\tCtrl+I",
                "Insert Empty Silence at Cursor Position"},
    CommandInfo{ID_EDIT_BEGIN_MARK, "&Begin Mark\tCtrl+B", "Begin Selection Mark"},
    CommandInfo{ID_EDIT_END_MARK, "&End Mark\tCtrl+E", "End Selection Mark"},
    CommandInfo{ID_EDIT_MODE, "&Switch to Edit Mode\tAlt+W", "Switch Edit mode on/off", true},
    CommandInfo{ID_FILE_PROPERTIES, "&File Properties...\tAlt+Return", "Open MIDI file properties"},
    CommandInfo{ID_VIEW_PLAYLIST, "Play&List...\tAlt+L", "Open play file list"},
    CommandInfo{ID_PLAY_PLAY, "&Play\t[space]", "Start playing", true},
    CommandInfo{ID_PLAY_STOP, "&Stop\t[space]", "Stop playing"},
    CommandInfo{ID_PLAY_REWIND, "Re&wind", "Rewind to beginning of current file"},
    CommandInfo{ID_PLAY_PREVIOUS, "Pre&vious", "Skip to previous file"},
    CommandInfo{ID_PLAY_NEXT, "&Next", "Skip to next file"},
    CommandInfo{ID_PLAY_METRONOME, "&Metronome tick", "Toggle metronome tick on/off", true},
    CommandInfo{ID_PLAY_COUNT_IN, "&Count-In ticks", "Toggle count-in ticks on/off", true},
    CommandInfo{ID_PLAY_LOOP, "&Loop", "", true},
    CommandInfo{ID_PLAY_MIDI_CLOCK, "S&end MIDI Clock/Start/Stop\tCtrl+M",
                "Send MIDI Clock/Start/Stop", true},
    CommandInfo{ID_PLAY_FILTER_PROGRAMS, "&Filter MIDI Program changes",
                "Filter MIDI Program changes", true},
    CommandInfo{ID_SPEED_TRAINER, "Speed &Trainer...",
                "Loop the marked range, raising the tempo after each pass"},
    CommandInfo{ID_TRANSPOSE_UP, "All half step Up\tCtrl+U",
                "Transpose all tracks one half step (semitone) Up"},
    CommandInfo{ID_TRANSPOSE_DOWN, "All half step Down\tCtrl+D",
                "Transpose all tracks one half step (semitone) Down"},
    CommandInfo{ID_TRANSPOSE_OCTAVE_UP, "All full octave Up\tAlt+Shift+U",
                "Transpose all tracks one octave (12 half steps) Up"},
    CommandInfo{ID_TRANSPOSE_OCTAVE_DOWN, "All full octave Down\tAlt+Shift+D",
                "Transpose all tracks one octave (12 half steps) Down"},
    CommandInfo{ID_TRANSPOSE_SHOWN_OCTAVE_UP, "Visible tracks octave Up\tAlt+U",
                "Transpose only displayed tracks one octave (12 half steps) Up"},
    CommandInfo{ID_TRANSPOSE_SHOWN_OCTAVE_DOWN, "Visible tracks octave Down\tAlt+D",
                "Transpose only displayed tracks one octave (12 half steps) Down"},
    CommandInfo{ID_APPLY_TEMPO_CHANGE, "Apply Tempo &Change",
                "Modify the file with current tempo change"},
    CommandInfo{ID_TAB_TEXT_TRACK, "Create &Tablature Text Track",
                "Create a new text track with the note names or tablature"},
    CommandInfo{ID_VIEW_DUMP, "View &Disassembled File...",
                "View interpreted midi events as text file"},
    CommandInfo{ID_MAP_NOTES, "&Map Notes...", ""},
    CommandInfo{ID_WHICH_HARP, "Which &Harp?...",
                "Find the harmonica, key and position that play the melody best"},
    CommandInfo{ID_OPTIMIZE_FINGERINGS, "Optimize &Fingerings...",
                "Choose the way of playing every note that makes the phrase easiest"},
    CommandInfo{ID_OPTIONS, "&Options...", "Options..."},
    CommandInfo{ID_HELP_TOPICS, "&Help Topics", "Display help for current task or command"},
    CommandInfo{ID_APP_ABOUT, "&About Reedtab ...",
                "Display program information, version number and copyright"},
};

} // namespace

std::span<const CommandInfo> commandTable() {
    return kCommands;
}

const CommandInfo* findCommand(int id) {
    for (const auto& command : kCommands) {
        if (command.id == id) {
            return &command;
        }
    }
    return nullptr;
}

std::string_view toolbarPrompt(int id) {
    switch (id) {
    case ID_TEMPO_SLIDER:
        return "Tempo change slide";
    case ID_TAB_TYPE:
        return "Select Tablature Type";
    default:
        return {};
    }
}

} // namespace reedtab

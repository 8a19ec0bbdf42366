#pragma once

// The program's main window around the tablature view: menus and toolbar built from the tables
// of menutable.h and the commands its components registered, the tempo slider and the
// tablature type selector, the five status panes, and what the window shows of the transport's
// news (frametransport.cpp). The application builds the player, the transport, the document,
// the transport hub, the command table and the tool windows and hands them to the frame by
// reference; the frame owns only the view, the live-note input and the SoundFont switch. It
// knows nothing of the application: what it cannot do itself it tells by signals.
//
// Threads: the user-interface thread.

#include "document/documentui.h"
#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "playback/midiinput.h"
#include "playback/streamplayer.h"

#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPrinter;
class QSlider;
class QUrl;

namespace reedtab {

class DumpWindow;
class CReedtabDoc;
class CReedtabView;
class CommandTable;
class OutputProvider;
class ViewPlayer;
class SettingsStore;
class SoundFontSwitch;
class Transport;
class TransportHub;
class ToolWindows;
struct DocumentNotice;
struct MenuSpec;
struct PositionReport;
struct Rgb;
struct SongPrintJob;

/// What the frame runs on and shows, all owned by the application: the settings store, the
/// output devices and the device lists the options sheet offers, the player, the transport,
/// the document and the hub that brings the transport's news to the windows.
struct FrameEnvironment {
    SettingsStore& store;
    OutputProvider& outputs;
    const std::vector<std::string>& outputDevices;
    const std::vector<std::string>& inputDevices;
    StreamPlayer& player;
    Transport& transport;
    CReedtabDoc& doc;
    TransportHub& hub;
};

/// What Play says, once a session, when the output plays where nobody hears it.
inline constexpr const char* kSilentOutputText =
    "No audio device could be opened, so the song plays without sound.\n"
    "Choose another output under \"Midi Out\" in Tools > Options..., or start the system's "
    "sound, and play again.";

/// The tempo percentage of the song as written.
inline constexpr int kNormalTempo = 100;

class CMainFrame : public QMainWindow, public DocumentUi {
    Q_OBJECT
public:
    explicit CMainFrame(FrameEnvironment environment);
    ~CMainFrame() override;

    /// Takes the command table (whose actions are children of this window) and the tool
    /// windows (owned by this window), registers the frame's commands, lays out the status
    /// bar, restores the placement and opens the devices. Once, right after construction.
    void attach(CommandTable& commands, ToolWindows& tools);

    CReedtabDoc& document() { return *doc_; }
    CReedtabView& view() { return *view_; }
    StreamPlayer& player() { return *player_; }
    Transport& transport() { return *transport_; }
    DiatonicLayout& diatonic() { return diatonic_; }
    ChromaticLayout& chromatic() { return chromatic_; }
    CommandTable& commands() { return *commands_; }
    TransportHub& hub() { return *hub_; }
    /// The open tool windows.
    ToolWindows& toolWindows() { return *tools_; }
    MidiInput& input() { return input_; }
    SettingsStore& store() { return store_; }
    /// Gives the built-in synthesizer another SoundFont (the options sheet).
    SoundFontSwitch& soundFonts() { return *soundFonts_; }

    /// The action of a menu or toolbar command id, or nullptr.
    QAction* action(int id) const;
    /// Text of status pane `index` (0 is the message pane, 1..4 the fixed panes).
    QString paneText(int index) const;
    QSlider* tempoSlider() const { return tempoSlider_; }
    QComboBox* tabTypeSelector() const { return tabType_; }
    QLabel* layoutText() const { return layoutText_; }

    /// Enables, checks and renames the commands for the current state (after every command, on
    /// a timer, and whenever a test wants the state now).
    void updateCommandStates();
    /// Builds the menus and the toolbar from the command table; the application calls it once
    /// every component has registered its commands.
    void buildMenusAndToolBar();

    // ---- Transport ----
    /// Pane 3 shows `tick` (-1: the play position) and the view scrolls to it.
    void showPosition(int tick);
    /// The slider and the percentage and tempo panes show the transport's tempo percentage.
    void showTempoPercent();
    void escapeKey();
    /// The player options of the settings changed: the transport takes them.
    void playbackOptionsChanged();

    // ---- The transport's news, as the frame handles it ----
    void onPlayerPosition(const PositionReport& report);
    void onPlayerTempo(int microsecondsPerQuarter);
    /// A live note goes to the output at once and, in edit mode, into the edit track: at the
    /// edit cursor as a whole note while stopped, as played at the play position while playing.
    void onNoteInput(const NoteInput& input);

    /// While stopped in edit mode the play position follows the edit cursor.
    void followEditCursor();

    // ---- Other commands ----
    /// Slider feedback: `dragging` while the thumb moves; `released` when it was let go.
    void tempoSliderMoved(int position, bool dragging, bool released);
    void tabTypeSelected(int index);
    void transposeCommand(int halfSteps, bool allTracks);
    void applyTempoChange();
    /// Writes the song's dump to a private temporary file and opens it; returns the file's
    /// path ("" when nothing was written).
    QString dumpCommand();
    /// Opens the dropped `paths` as a new playlist (`filesDropped`).
    void openDroppedFiles(const QStringList& paths);
    /// Refreshes the layout text beside the selector (the short title of the notation).
    void refreshLayoutText();
    /// The recent-file entries of the File menu, newest first.
    void setRecentFiles(const QStringList& paths);
    /// Posts menu command `id` to the frame; it runs when the event loop gets to it.
    void postCommand(int id);

    // ---- Printing and options ----
    /// The printed pages of the song as the print settings and the screen's staff give them.
    SongPrintJob printJob();
    /// Print, Print Preview, Print Setup and Export PDF; the first two and the export are
    /// refused with a beep while the song plays. The export asks for the file (through
    /// `savePathSink` when set) and returns the pages written (-1 when nothing was written).
    void printCommand();
    void printPreviewCommand();
    void printSetupCommand();
    int exportPdfCommand();
    /// The options sheet, modal.
    void optionsCommand();

    // ---- Property dialogs ----
    /// "Track Properties" of the track at `track`, modal; nothing for a bad index.
    void trackPropertiesCommand(int track);
    /// "MIDI File Properties", modal; afterwards the player and the tempo pane take the tempo
    /// at the play position.
    void filePropertiesCommand();
    /// Map Notes over the marks, from its dialog.
    void mapNotesCommand();
    /// "Which Harp?" over the marks; the chosen harp becomes the layout and the tablature mode.
    void whichHarpCommand();
    /// After the options changed fonts, note flags or names: the view lays out and repaints,
    /// the layout text is refreshed.
    void displayOptionsChanged();

signals:
    /// The lyrics font or colours changed (settings().fontLyrics, fontLyricsTxt,
    /// fontLyricsBg); the lyrics window repaints with them.
    void lyricsSettingsChanged();
    /// Files were dropped on the window, to be opened as a new playlist.
    void filesDropped(const QStringList& paths);
    /// Entry `index` of the File menu's recent files was chosen.
    void recentFileChosen(int index);
    /// The placement was saved because the program ends: the windows it does not own close.
    void placementSaved();
    /// The space key (Play or Stop) and the Home key (Rewind) on the main window.
    void spacePressed();
    void homePressed();
    /// Playing was stopped around a change (a transposition, another device or SoundFont) and
    /// goes on from the play position.
    void resumeRequested();

public:
    /// How the frame has the desktop show a file (the dump): `failed` runs, at once or later,
    /// when nothing could show it. Tests replace it.
    std::function<void(const QUrl&, const std::function<void()>& failed)> openUrl;
    /// When set, message boxes go here instead of the screen (tests, the screenshot mode).
    std::function<void(const std::string& text, const std::string& caption, MessageIcon icon)>
        messageSink;
    /// When set, the save path is asked here (title, the suggested path) instead of a dialog.
    std::function<std::string(const std::string& title, const std::string& suggested)> savePathSink;
    /// When set, the path of a file to open is asked here (title, the suggested path) instead
    /// of a dialog.
    std::function<std::string(const std::string& title, const std::string& suggested)> openPathSink;
    /// When set, questions are answered here instead of on the screen.
    std::function<Answer(const std::string& text, const std::string& caption, bool withCancel)>
        questionSink;

    // ---- Placement ----
    void restorePlacement();
    void savePlacement();

    // ---- DocumentUi ----
    void messageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    Answer askYesNoCancel(const std::string& text, const std::string& caption) override;
    void beep() override;
    std::string askSavePath(const std::string& title) override;
    void beginProgress() override;
    void setProgress(int percent) override;
    void endProgress() override;
    void setWaitCursor(bool on) override;
    void setStatusText(const std::string& text) override;
    void modifiedChanged(bool modified) override;

    /// Title, panes, view and commands follow a change of the document.
    void onDocumentNotice(const DocumentNotice& notice);
    /// Title and command states (after a save, a load or an edit).
    void refreshFrame();

    /// The read-only text window the dump falls back on when the desktop opens no viewer.
    DumpWindow* dumpWindow() const { return dumpWindow_; }

    /// The progress bar while a file loads (tests), else nullptr.
    QProgressBar* progressBar() const { return progress_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void registerCommands();
    void fillMenu(QMenu* menu, const MenuSpec& spec, QObject* clearer);
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void redrawPassedEvents(const PositionReport& report);
    void showSongPanes();
    /// The tempo slider's tooltip and prompts: what it does and the percentage `percent`.
    void showTempoTip(int percent);
    void showDump(const QString& path);
    /// The default `openUrl`: xdg-open, whose failure shows in its exit status.
    void openWithDesktop(const QUrl& url, const std::function<void()>& failed);
    void helpCommand();
    void focusPane(bool forward);
    void updateTitle();
    void recordLiveNote(const NoteInput& input);
    int sixteenth() const;
    QPrinter& printer();

    SettingsStore& store_;
    const std::vector<std::string>& outputDevices_;
    const std::vector<std::string>& inputDevices_;
    StreamPlayer* player_;
    Transport* transport_;
    // The process-wide layouts, so that the document's tablature text track and the view name
    // notes the same way.
    DiatonicLayout& diatonic_ = diatonicLayout();
    ChromaticLayout& chromatic_ = chromaticLayout();
    std::unique_ptr<SoundFontSwitch> soundFonts_;
    CReedtabDoc* doc_;
    std::unique_ptr<ViewPlayer> viewPlayer_;
    MidiInput input_;
    std::unique_ptr<CReedtabView> view_;
    TransportHub* hub_;
    ToolWindows* tools_ = nullptr;
    // Kept between runs so that Print Setup's choices hold for the next print.
    std::unique_ptr<QPrinter> printer_;
    CommandTable* commands_ = nullptr;
    int documentListener_ = 0;

    QMenu* recentMenu_ = nullptr;
    DumpWindow* dumpWindow_ = nullptr;
    QSlider* tempoSlider_ = nullptr;
    QComboBox* tabType_ = nullptr;
    QLabel* layoutText_ = nullptr;
    QLabel* panes_[5] = {};
    QPointer<QProgressBar> progress_;
    int waitCursors_ = 0;
    QStringList dumpFiles_;
    bool menusBuilt_ = false;
};

} // namespace reedtab

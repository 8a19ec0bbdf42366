#pragma once

// The application object and the program's one composition root: it builds the settings store,
// the outputs, the player, the transport, the document, the transport hub, the main frame, the
// command table, the tool windows and the controllers, has each component register its own
// commands before the frame lays out its menus, and takes them down in a safe order. Besides,
// start-up, the device lists, the playlist, every way of opening a file by path, and the file
// and playlist commands.
//
// Threads: the user-interface thread.

#include "app/playlist.h"
#include "app/playlistmodel.h"
#include "playback/clock.h"
#include "playback/outputdevice.h"
#include "reedtab/version.h"
#include "settings/settingsstore.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

namespace reedtab {

class CMainFrame;
class CRecovery;
class CReedtabDoc;
class CommandTable;
class DocumentUiRelay;
class EditController;
class StreamPlayer;
class ToolWindows;
class Transport;
class TransportController;
class TransportHub;

/// Number of entries of the recent-file list.
inline constexpr int kRecentFileCount = 8;
/// The Open dialog's filter.
inline constexpr const char* kOpenFilter = "Midi Files (*.mid *.kar);;All Files (*)";

/// What the program runs on; the program passes the real ones, tests a manual clock and a
/// recording output.
struct AppEnvironment {
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<OutputProvider> outputs;
    std::unique_ptr<Clock> clock;
    std::vector<std::string> inputDevices;
    /// "Midi Mapper" first.
    std::vector<std::string> outputDevices;
    /// Where the recovery files of unsaved songs go; "" keeps none and offers none.
    std::string recoveryFolder;
};

/// The environment of the installed program: the user's settings file, the built-in
/// synthesizer and the system's MIDI ports, the steady clock, the recovery folder in the user's
/// data folder. Without `withDevices` (the screenshot mode, which plays nothing and changes
/// nothing) there are no device lists, the one output drops every message, so that no
/// SoundFont is read and no MIDI or audio system is asked, the settings file is read but not
/// written, and there is no recovery.
AppEnvironment systemEnvironment(bool withDevices = true);

class CReedtabApp : public QObject, public PlaylistHost {
    Q_OBJECT
public:
    explicit CReedtabApp(AppEnvironment environment);
    ~CReedtabApp() override;

    /// The SoundFont of this run in place of the one in the settings ("" keeps that one).
    /// Before `start`.
    void setSoundFont(const QString& path) { soundFont_ = path; }

    /// Start-up: settings and devices, the built-in synthesizer's SoundFont read on another
    /// thread, the main window, the command line's file (or a new document), the window
    /// shown, the tool windows of the last run reopened. `file` may be empty. Returns false
    /// when the main window could not be made.
    bool start(const QString& file, bool show = true);

    CMainFrame& frame() { return *frame_; }
    /// The edit commands and edit mode.
    EditController& edits() { return *edits_; }
    /// The transport's commands and keys, and the end of a song.
    TransportController& transportCommands() { return *transportCommands_; }
    /// Shows the start page over the empty view (a start with no song to open).
    void showStartPage();
    /// The recovery of unsaved songs, null without a recovery folder.
    CRecovery* recovery() const { return recovery_.get(); }
    const std::vector<std::string>& inputDevices() const { return inputDevices_; }
    const std::vector<std::string>& outputDevices() const { return outputDevices_; }

    // ---- PlaylistHost ----
    PlaylistModel& playlist() override { return playlist_; }
    /// The open-by-path of every road (playlist, Next, Previous, drop, recent files, command
    /// line): the document reads the file; once it has, unless *from playlist* is set, the
    /// playlist becomes this one file. The playlist window is refreshed. True when it read; a
    /// file that cannot be read leaves the open song and the playlist as they were.
    bool openFile(const QString& path) override;
    bool newDocument() override;
    void repaintMainWindow() override;
    SettingsStore& store() override { return *store_; }
    void playlistWindowClosed() override;

    // ---- Commands ----
    /// Replaces the playlist by `paths` and opens the first (the Open dialog's result, dropped
    /// files). When the first cannot be read the playlist stays as it was. True when it read.
    bool openFiles(const QStringList& paths);
    void openCommand();
    void nextCommand();
    void previousCommand();
    void reloadCommand();
    void playlistCommand();
    void aboutCommand();
    /// Opens entry `index` of the recent-file list.
    void openRecentFile(int index);

    CPlayList* playlistWindow() const { return playlistWindow_; }
    QStringList recentFiles() const { return recentFiles_; }
    /// Puts `path` first in the recent-file list (a file opened or saved under a new name).
    void addRecentFile(const QString& path);

private:
    void registerCommands(CommandTable& table);
    /// At the end of a song: the playlist's next song opens and plays; false when there is none.
    bool playNextSong();
    /// Opens the entry at the current index with both playlist flags set; on failure the
    /// index goes back to `previous` and the playlist window selects it again.
    bool openPlaylistEntry(int previous);
    void loadRecentFiles();
    void saveRecentFiles();

    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<OutputProvider> outputs_;
    std::unique_ptr<Clock> clock_;
    std::vector<std::string> inputDevices_;
    std::vector<std::string> outputDevices_;
    PlaylistModel playlist_;
    QPointer<CPlayList> playlistWindow_;
    QStringList recentFiles_;
    QString soundFont_;
    // In the order of building; the destructor takes them down in its own order.
    std::unique_ptr<StreamPlayer> player_;
    std::unique_ptr<Transport> transport_;
    std::unique_ptr<DocumentUiRelay> prompts_;
    std::unique_ptr<CReedtabDoc> doc_;
    std::unique_ptr<TransportHub> hub_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<CommandTable> commands_;
    std::unique_ptr<ToolWindows> tools_;
    std::unique_ptr<TransportController> transportCommands_;
    std::unique_ptr<EditController> edits_;
    std::string recoveryFolder_;
    std::unique_ptr<CRecovery> recovery_;
};

} // namespace reedtab

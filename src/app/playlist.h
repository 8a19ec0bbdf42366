#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace reedtab {

class PlaylistModel;
class SettingsStore;

/// What the playlist window needs from the application that owns the playlist.
class PlaylistHost {
public:
    virtual ~PlaylistHost() = default;
    virtual PlaylistModel& playlist() = 0;
    /// Opens `path` as the application's open-by-path does; false when it did not open.
    virtual bool openFile(const QString& path) = 0;
    /// Starts a new, empty document; false when the user refused (kept a changed song).
    virtual bool newDocument() = 0;
    /// Repaints the main window.
    virtual void repaintMainWindow() = 0;
    /// The store of the window position keys.
    virtual SettingsStore& store() = 0;
    /// The window is going away; the host forgets it.
    virtual void playlistWindowClosed() = 0;
};

/// The modeless playlist window: the entries' full paths, one per line, with Add, Clear, Save
/// and Load; lines can be dragged to a new place, Delete removes the focused line, a double
/// click (or Enter) opens a line. Deletes itself when closed.
class CPlayList : public QDialog {
    Q_OBJECT
public:
    explicit CPlayList(PlaylistHost& host, QWidget* parent = nullptr);
    ~CPlayList() override;

    /// Refills the lines from the playlist unless `keepLines`, then selects the current index.
    void refresh(bool keepLines);

    /// Opens line `row` as the current entry; on failure the previous index comes back.
    void openLine(int row);
    /// Appends `paths`; into an empty playlist the first one is opened.
    void addFiles(const QStringList& paths);
    /// Starts a new document and empties the playlist; nothing when the new document is refused.
    void clearList();
    /// Writes the playlist to `path`; false (with a beep) for an empty list or a write error.
    bool savePlaylist(const QString& path);
    /// Reads a playlist file and appends its entries; false (with a beep) when the file is not
    /// a playlist.
    bool loadPlaylist(const QString& path);
    /// Moves the line dragged from `source` and dropped on line `drop` (-1 none).
    void moveLine(int source, int drop);
    /// Removes the line with the keyboard focus.
    void deleteFocusedLine();

    QListWidget* listBox() const { return list_; }

    /// The colour of the line under the pointer while dragging, inverted onto the line.
    static QColor dragHighlightColour();

public slots:
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addClicked();
    void saveClicked();
    void loadClicked();
    void restorePosition();
    void savePosition();

    PlaylistHost& host_;
    QListWidget* list_ = nullptr;
};

} // namespace reedtab

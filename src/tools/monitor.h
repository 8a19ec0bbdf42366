#pragma once

// The floating tool windows around the main frame: `CMonitor`, the base every tool window
// derives from, and `NoteButton`, the push button of a harmonica hole or a piano key.
//
// A tool window is a captioned tool-style window owned by the main frame. It remembers its
// place in the settings ("Mon%d.x1" ... with its index), takes the notes the frame passes it
// while a song plays (`noteOn`, `noteOff`, `onTextEvent`, `onEvent`) and sends the notes the
// user plays on it to the transport hub, which hands them to the frame's output at once.
//
// Threads: the user-interface thread only.

#include "harmonica/harmonicalayout.h"

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QPushButton>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <span>
#include <string>
#include <vector>

class QComboBox;
class QKeyEvent;

namespace reedtab {

class CReedtabDoc;
class DocumentUi;
class SettingsStore;
class TransportHub;

/// Notification codes a `NoteButton` sends with its control id.
inline constexpr int kButtonPressed = 513;
inline constexpr int kButtonReleased = 514;

/// Tool window types, the `monitorIndex` of each window.
enum MonitorType : int {
    kMonitorNone = 0,
    kMonitorMixer = 1,
    kMonitorPiano = 2,
    kMonitorDiatonic = 3,
    kMonitorChromatic = 4,
    kMonitorLyrics = 5,
    kMonitorEvents = 6,
    kMonitorListen = 7,
};

/// What every tool window works with.
struct ToolContext {
    SettingsStore& store;
    CReedtabDoc& doc;
    TransportHub& hub;
    /// Where a tool window asks the user a question.
    DocumentUi& ui;
    /// Opens the track properties of track `track`; the mixer's "Track &Properties" stays
    /// disabled while it is empty.
    std::function<void(int track)> trackProperties = {};
};

/// The window's creation parameters, which `preCreate` may change.
struct MonitorCreation {
    QString title = QStringLiteral("Monitor");
    QRect rect{10, 10, 330, 230};
};

class CMonitor : public QWidget {
    Q_OBJECT
public:
    /// `owner` is the main frame; the window stays above it and goes with it.
    CMonitor(const ToolContext& context, QWidget* owner);
    ~CMonitor() override;

    /// Creates and shows the window; 0 on success or when it already exists, -1 when its
    /// content could not be made (nothing is shown then).
    virtual int create();
    /// The song or its tracks changed, or playing stopped: release what is held.
    virtual void refresh(int flag);
    /// A note starts (event index -1 for a note the user plays; code -1 when the frame passes
    /// a playing note, else the window's own position code).
    virtual void noteOn(int note, int eventIndex, int code);
    virtual void noteOff(int note, int eventIndex, int code);
    virtual void onTextEvent(int eventIndex);
    virtual void onEvent(int eventIndex);
    /// A process-wide harmonica layout was changed outside this window: a window that shows
    /// one takes up its tuning and key and holds its sounding notes down again. The base does
    /// nothing.
    virtual void followLayouts();
    /// The Listen window hears `note` now (-1: silence): a harmonica window lights its hole in
    /// the heard colour beside the sounding ones. The base does nothing.
    virtual void heardNote(int note);
    /// The colour settings changed: the window draws with them from now on. The base repaints.
    virtual void applyColours();
    virtual int monitorIndex() const { return kMonitorNone; }
    /// Writes the normal rectangle to "Mon%d.x1" ... unless the window is minimised or
    /// maximised.
    virtual void savePlacement();
    /// Reads the stored rectangle and applies it; `width`/`height` other than -1 set the size
    /// when nothing was stored, or always with `force`.
    virtual void restorePlacement(int width, int height, bool force);

    /// True when the settings hold this window's top-left corner ("Mon%d.x1" and "y1").
    bool hasStoredPlacement() const;
    /// The settings key `name` of this window ("Mon3.x1").
    std::string placementKey(const char* name) const;

signals:
    /// The window is going away; the frame drops it from its list.
    void monitorClosed(reedtab::CMonitor* window);
    /// The window changed a process-wide harmonica layout: the view relabels its notes.
    void layoutChanged();

protected:
    virtual void preCreate(MonitorCreation& creation);
    /// Makes the window's controls; -1 stops the creation. The base refreshes.
    virtual int onCreateContent();
    /// Releases what `onCreateContent` made; called before the window goes.
    virtual void onDestroyContent();

    /// A stored top-left corner pulled back so that an icon's size stays on the screen.
    static QPoint onScreen(int x, int y);
    /// Sends a live note through the hub: kind on (velocity given) or off; `channel` is the
    /// window's own, replaced by the document's edit channel in edit mode.
    void sendNote(int note, int velocity, bool on, int channel);
    /// The fingering the user chose for the played note of event `eventIndex` (a note-on, or
    /// a note-off standing for its note-on); 0 for none, a live note or an index outside the
    /// song.
    std::uint16_t fingeringOf(int eventIndex) const;
    /// A pressed or released `NoteButton` of this window.
    virtual void onButton(int id, int code);

    void closeEvent(QCloseEvent* event) override;

    ToolContext context_;

private:
    friend class NoteButton;
    /// Moves a window opened without a stored placement beside the main window.
    void placeBesideOwner();

    bool created_ = false;
    bool destroyed_ = false;
};

/// The tool windows' sizes count the whole window, caption and borders included, as they were
/// drawn; the content gets what such a frame leaves of `whole`.
QSize contentSize(QSize whole);

/// Where a tool window opened for the first time goes: `window` is its whole size, `owner` the
/// main window's frame, `menusBottom` the screen y under its menus and tool bar, `screen` the
/// screen's free area and `taken` the frames of the tool windows already open. Beside the main
/// window, to its right when the screen has room, else below it, else at the screen's right
/// edge under the menus; moved down past each open window it would cover, and cascaded from
/// that first place when the column runs off the screen.
QPoint firstPlacement(QSize window, const QRect& owner, int menusBottom, const QRect& screen,
                      std::span<const QRect> taken);

/// A picture of the tool windows' artwork (":/tools/NAME.svg") at its own size; made once.
const QPixmap& toolPicture(const char* name);
/// The tool windows' text face at `pixels` height.
QFont toolFont(int pixels);
/// A drop-down list of a tool window at `rect` (the rectangle's height is that of the open
/// list; the closed box gets the style's height), items in `font`.
QComboBox* makeToolList(QWidget* window, const QRect& rect, const QFont& font,
                        const QString& toolTip);
/// The tuning chosen in a harmonica window's tuning list: the custom entry asks for a tuning
/// file first. True, with `tuningIndex` the list's choice, when the choice stands; false, with
/// the list back on `tuningIndex`, when no file was loaded.
bool takeTuningChoice(QComboBox& list, HarmonicaLayout& layout, int& tuningIndex,
                      const TuningFilePicker& pick);

/// A printable character typed without Ctrl or Alt: the tool windows' lists pass these on to
/// the main frame.
bool isTypedCharacter(const QKeyEvent& event);

/// A computer key by its place on the keyboard: the evdev scan code, and the key it makes on a
/// US layout where the platform reports no scan codes.
struct KeyPlace {
    int scanCode;
    int qtKey;
    int value;
};

/// The value of the key `event` is about, or -1 when the table lacks it.
int findKeyPlace(std::span<const KeyPlace> table, const QKeyEvent& event);

/// The computer keys held down on a tool window (at most nine), each with the note it sounds.
class HeldKeys {
public:
    static constexpr int kCapacity = 9;
    /// Holds `key`; false when nine are held already or it is held.
    bool press(int key, int note);
    /// The note of a held key, which is let go; -1 when it was not held.
    int release(int key);
    int count() const { return count_; }
    /// Lets every key go; `onRelease` gets each note.
    template <typename F>
    void releaseAll(F&& onRelease) {
        while (count_ > 0) {
            --count_;
            onRelease(held_[static_cast<std::size_t>(count_)].note);
        }
    }

private:
    struct Held {
        int key = 0;
        int note = 0;
    };
    std::array<Held, kCapacity> held_{};
    int count_ = 0;
};

/// The notes a harmonica window was told are sounding, as `noteOn` got them, so that it can
/// hold them down again on buttons built anew.
class HeldNotes {
public:
    struct Note {
        int note = 0;
        int eventIndex = -1;
        int code = -1;
    };
    void add(int note, int eventIndex, int code) { notes_.push_back({note, eventIndex, code}); }
    /// Forgets the oldest entry of `note` with `code`, else the oldest entry of `note`.
    void remove(int note, int code);
    void clear() { notes_.clear(); }
    const std::vector<Note>& notes() const { return notes_; }

private:
    std::vector<Note> notes_;
};

/// A hole or key button: the mouse press and release become `kButtonPressed` and
/// `kButtonReleased` for its tool window; keys go on to the window. It never takes the focus,
/// so the window's keyboard keeps working while the mouse plays.
class NoteButton : public QPushButton {
    Q_OBJECT
public:
    NoteButton(int id, const QString& text, CMonitor* window);
    int id() const { return id_; }
    /// Framed in `colour` while the Listen window hears its note (an invalid colour: not).
    void setHeard(const QColor& colour);
    const QColor& heard() const { return heard_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void forwardKey(QKeyEvent* event);

    CMonitor* window_;
    int id_;
    bool held_ = false;
    QColor heard_;
};

/// Frames `button` as heard, in the heard colour of the settings, in place of `framed`, which
/// then points to it; a null `button` frames none.
void moveHeardFrame(QPointer<NoteButton>& framed, NoteButton* button);

} // namespace reedtab

#pragma once

// The edit toolbar: while it is open the program is in edit mode (settings().editMode). It
// chooses the track and channel new notes go to, the note value and how much of it sounds, and
// whether the mouse writes notes; it creates tracks, steps the edit cursor over a rest and adds
// text events. Its settings live in the document's edit fields, which the view, the frame and
// the tool windows read.
//
// Threads: the user-interface thread only.

#include <QDialog>

#include <array>
#include <cstdint>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;

namespace reedtab {

class CReedtabDoc;
class DocumentUi;
class SettingsStore;
struct DocumentNotice;

/// The note values of the toolbar's buttons, in their order: whole, half, quarter, eighth,
/// sixteenth, thirty-second, triplet eighth.
inline constexpr int kNoteValueCount = 7;
/// The command id of each note-value button.
inline constexpr std::array<int, kNoteValueCount> kNoteValueCommands{32823, 32821, 32818, 32819,
                                                                     32820, 32822, 32824};

/// How long a step-entered note sounds and the silence after it, in ticks.
struct NoteLengths {
    std::int32_t sounding = 0;
    std::int32_t gap = 0;
};

/// The ticks of note value `noteValue` (0..6) at `division`.
std::int32_t noteValueTicks(int noteValue, int division);
/// `percent` of the note value sounds (at least 1 tick); the rest of it is the gap.
NoteLengths noteLengths(int noteValue, int percent, int division);

class CEditToolbar : public QDialog {
    Q_OBJECT
public:
    /// Opens edit mode. An empty song first gets its first track and the user is asked for a
    /// track to write into until there is one. Messages go through `ui`; the placement and
    /// the values come from `store` ("Edit.x1" ...) and go back there when the toolbar closes.
    CEditToolbar(CReedtabDoc& doc, DocumentUi& ui, SettingsStore& store, QWidget* parent);
    ~CEditToolbar() override;

    /// Fills the track list from the song again (after tracks were added, removed or renamed)
    /// and with it the channel list.
    void rebuildTrackList();

    /// Creates a track from the "New Track" dialog; false when none was created.
    bool newTrack();
    /// Adds the text of the text entry at the edit cursor of the edit track.
    void addText();
    /// Moves the edit cursor on by one note value of rest.
    void silence();
    /// Chooses note value 0..6 as its button does.
    void setNoteValue(int noteValue);

    int noteValue() const { return noteValue_; }
    int lengthPercent() const { return lengthPercent_; }
    int velocity() const { return velocity_; }

    QComboBox* trackList() const { return trackList_; }
    QComboBox* channelList() const { return channelList_; }
    QSpinBox* lengthField() const { return lengthField_; }
    QSpinBox* velocityField() const { return velocityField_; }
    QCheckBox* mouseWriteCheck() const { return mouseWriteCheck_; }
    QAbstractButton* noteValueButton(int noteValue) const;
    QPushButton* button(const QString& text) const;

signals:
    /// The edit cursor moved without an edit of the song (Silence).
    void cursorMoved();
    /// Edit mode ended: the toolbar was closed and its settings stored.
    void closed();

public slots:
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void readSettings();
    void placeWindow();
    void ensureEditTrack();
    void rebuildChannelList();
    void computeLengths();
    void finish();
    void onNotice(const DocumentNotice& notice);

    CReedtabDoc& doc_;
    DocumentUi& ui_;
    SettingsStore& store_;
    int listener_ = 0;
    // The field handlers do nothing until the toolbar is set up.
    bool ready_ = false;
    bool finished_ = false;
    int noteValue_ = 2;
    int lengthPercent_ = 90;
    int velocity_ = 127;
    bool mouseWrite_ = false;
    int storedX_ = -1;
    int storedY_ = -1;

    QButtonGroup* noteValues_ = nullptr;
    QComboBox* trackList_ = nullptr;
    QComboBox* channelList_ = nullptr;
    QSpinBox* lengthField_ = nullptr;
    QSpinBox* velocityField_ = nullptr;
    QCheckBox* mouseWriteCheck_ = nullptr;
};

} // namespace reedtab

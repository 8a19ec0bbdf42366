#pragma once

// "Track Properties": one track's name, its place in the track list, its channel and its
// volume, pan and program-change events. Lists and channel change reach the song at once;
// name and place when the dialog closes with Close. The whole dialog is one undo step
// ("Track properties"), and Cancel changes nothing.

#include "dialogs/internal/propertydialog.h"

#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace reedtab {

class MidiEvent;
class MidiTrack;

class CTrackPropDlg : public CPropertyDialog {
    Q_OBJECT
public:
    /// The lists a track's events are shown in.
    enum EventList { ProgramList = 0, VolumeList = 1, PanList = 2 };

    /// Messages and questions go to `ui`. `trackIndex` must name a track of the song.
    CTrackPropDlg(CReedtabDoc& doc, DocumentUi& ui, int trackIndex, QWidget* parent = nullptr);

    void accept() override;

    QComboBox* list(EventList which) const { return lists_[which].list; }
    QPushButton* editButton(EventList which) const { return lists_[which].edit; }
    QPushButton* addButton(EventList which) const { return lists_[which].add; }
    QPushButton* deleteButton(EventList which) const { return lists_[which].remove; }
    QSpinBox* trackNumber() const { return number_; }
    QLineEdit* trackName() const { return name_; }
    QLabel* channelLabel() const { return channelLabel_; }
    QPushButton* changeChannelButton() const { return changeChannel_; }

protected:
    bool pendingChanges() const override;

private:
    struct ListControls {
        QComboBox* list = nullptr;
        QPushButton* edit = nullptr;
        QPushButton* add = nullptr;
        QPushButton* remove = nullptr;
    };

    MidiTrack& track() const;
    bool belongs(EventList which, const MidiEvent& event) const;
    QString line(EventList which, const MidiEvent& event) const;
    void fill(EventList which, bool keepSelection);
    void fillAll(bool keepSelection);
    MidiEvent* selected(EventList which) const;
    void editEvent(EventList which);
    void addEvent(EventList which);
    void deleteEvent(EventList which);
    void changeChannel();

    int trackIndex_;
    QString startName_;
    QSpinBox* number_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLabel* channelLabel_ = nullptr;
    QPushButton* changeChannel_ = nullptr;
    ListControls lists_[3];
};

} // namespace reedtab

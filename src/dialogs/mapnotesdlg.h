#pragma once

#include <QDialog>

class QComboBox;
class QSpinBox;

namespace reedtab {

/// The parameters of Map Notes: a channel, a note to replace and its replacement, and a
/// velocity change in percent (constant, or ramping across the marked range). -1 means any
/// or untouched for each of them.
class CMapNotesDialog : public QDialog {
    Q_OBJECT
public:
    explicit CMapNotesDialog(QWidget* parent = nullptr);

    /// 0..15, or -1 for any channel.
    int channel() const;
    int fromNote() const;
    int toNote() const;
    int volumeFromPercent() const;
    int volumeToPercent() const;

    QComboBox* channelList() const { return channel_; }
    QSpinBox* fromNoteField() const { return fromNote_; }
    QSpinBox* toNoteField() const { return toNote_; }
    QSpinBox* volumeFromField() const { return volumeFrom_; }
    QSpinBox* volumeToField() const { return volumeTo_; }

private:
    QComboBox* channel_ = nullptr;
    QSpinBox* fromNote_ = nullptr;
    QSpinBox* toNote_ = nullptr;
    QSpinBox* volumeFrom_ = nullptr;
    QSpinBox* volumeTo_ = nullptr;
};

} // namespace reedtab

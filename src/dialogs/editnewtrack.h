#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace reedtab {

/// "New Track": the name of a track to create and its channel, listed "01".."16".
class CEditNewTrack : public QDialog {
    Q_OBJECT
public:
    explicit CEditNewTrack(QWidget* parent = nullptr);

    QString name() const;
    void setName(const QString& name);
    /// The channel, 0..15.
    int channelIndex() const;
    void setChannelIndex(int channel);

    QLineEdit* nameField() const { return name_; }
    QComboBox* channelList() const { return channel_; }

private:
    QLineEdit* name_ = nullptr;
    QComboBox* channel_ = nullptr;
};

} // namespace reedtab

#pragma once

#include "playback/speedtrainer.h"

#include <QDialog>

class QPushButton;
class QSpinBox;

namespace reedtab {

/// "Speed Trainer": the start, step and target tempo percentages and the passes per step. OK
/// is offered only for a plan the player can follow.
class CSpeedTrainerDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSpeedTrainerDlg(QWidget* parent = nullptr);

    SpeedTrainer plan() const;

    QSpinBox* startField() const { return start_; }
    QSpinBox* stepField() const { return step_; }
    QSpinBox* targetField() const { return target_; }
    QSpinBox* passesField() const { return passes_; }
    QPushButton* okButton() const { return ok_; }

private:
    QSpinBox* start_ = nullptr;
    QSpinBox* step_ = nullptr;
    QSpinBox* target_ = nullptr;
    QSpinBox* passes_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace reedtab

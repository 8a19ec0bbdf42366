#pragma once

// The options sheet's Listening page: the capture device, the concert pitch, the tolerance,
// the latency offset and the colours of judged notes on the staff and of the heard hole.
//
// Threads: the user-interface thread.

#include "app/options.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace reedtab {

class CPropListening : public COptionsPage {
    Q_OBJECT
public:
    CPropListening(CMainFrame& frame, const OptionsChoosers& choosers, QWidget* parent = nullptr);
    void apply() override;

    QComboBox* inputList() const { return input_; }
    QSpinBox* concertPitchBox() const { return concertPitch_; }
    QSpinBox* toleranceBox() const { return tolerance_; }
    QSpinBox* offsetBox() const { return offset_; }
    /// The colour buttons: hit, wrong, missed, heard.
    QPushButton* colourButton(int index) const { return colourButtons_[index]; }

private:
    void showColours();

    CMainFrame& frame_;
    const OptionsChoosers& choosers_;
    Settings copy_;
    QComboBox* input_ = nullptr;
    QSpinBox* concertPitch_ = nullptr;
    QSpinBox* tolerance_ = nullptr;
    QSpinBox* offset_ = nullptr;
    QPushButton* colourButtons_[4] = {};
    QLabel* colourLabels_[4] = {};
};

} // namespace reedtab

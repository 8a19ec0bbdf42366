#pragma once

#include "dialogs/posentry.h"

class QComboBox;

namespace reedtab {

/// "%3d %s": a program number and its instrument, or "Drumset %d" on channel 10 (index 9).
QString programText(int program, int channel);

/// A position and a General MIDI program. For an existing event (`program` 0..127) the
/// position is shown but cannot change; for a new one (-1) the first program is offered.
class CProgramEntry : public CPosEntry {
    Q_OBJECT
public:
    explicit CProgramEntry(QWidget* parent = nullptr);

    /// Lists the 128 programs as channel `channel` (0..15) names them and selects `program`.
    void setProgram(int program, int channel);
    /// The program chosen (0..127).
    int program() const;

    QComboBox* programList() const { return programs_; }

private:
    QComboBox* programs_ = nullptr;
};

} // namespace reedtab

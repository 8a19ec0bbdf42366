#pragma once

#include <QDialog>

class QDoubleSpinBox;

namespace reedtab {

/// One number. With the range check on (the default) it lies in 0..127; without it any value
/// of either sign can be typed, and the caller judges it.
class CValueEntry : public QDialog {
    Q_OBJECT
public:
    explicit CValueEntry(QWidget* parent = nullptr);

    void setRangeCheck(bool on);
    /// Digits after the decimal point (0 by default).
    void setDecimals(int decimals);
    void setValue(double value);
    double value() const;

    QDoubleSpinBox* field() const { return value_; }

private:
    QDoubleSpinBox* value_ = nullptr;
};

} // namespace reedtab

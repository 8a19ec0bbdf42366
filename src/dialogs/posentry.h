#pragma once

#include <QDialog>

#include <cstdint>

class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QSpinBox;

namespace reedtab {

class MidiSong;

/// The bar:beat:tick entry dialog. Bars and beats count from 1, ticks from 0. With the range
/// check on, the bar lies in 1..bar count and the tick in 0..division; without it the three
/// fields take any count from 0 (the silence length uses it that way).
class CPosEntry : public QDialog {
    Q_OBJECT
public:
    explicit CPosEntry(QWidget* parent = nullptr);

    /// The limits of the range check: the song's bar count (at least 1) and its division.
    void setRange(int barCount, int division);
    /// Turns the range check on or off (on by default).
    void setRangeCheck(bool on);
    void setPrompt(const QString& prompt);
    void setPosition(int bar, int beat, int tick);
    /// Shows `tick` of `song` as its bar:beat:tick; 1:1:0 for a tick outside the song.
    void setPositionOf(const MidiSong& song, std::int32_t tick);

    int bar() const;
    int beat() const;
    int tick() const;

    QSpinBox* barField() const { return bar_; }
    QSpinBox* beatField() const { return beat_; }
    QSpinBox* tickField() const { return tick_; }

protected:
    /// Adds a field below the tick, for the dialogs that ask for more than a position.
    void addField(const QString& label, QWidget* field);
    /// Shows the position without letting it be changed (an event that stays where it is).
    void setPositionEnabled(bool enabled);

private:
    void applyRanges();

    QFormLayout* fields_ = nullptr;
    QLabel* prompt_ = nullptr;
    QSpinBox* bar_ = nullptr;
    QSpinBox* beat_ = nullptr;
    QSpinBox* tick_ = nullptr;
    int barCount_ = 1;
    int division_ = 0;
    bool rangeCheck_ = true;
};

/// A position and a number. The position is always range-checked; the number lies in 0..127
/// while the value's range check is on (the default), and takes any value otherwise.
class CPosValueEntry : public CPosEntry {
    Q_OBJECT
public:
    explicit CPosValueEntry(QWidget* parent = nullptr);

    void setValueRangeCheck(bool on);
    void setValue(double value);
    double value() const;

    QDoubleSpinBox* valueField() const { return value_; }

private:
    QDoubleSpinBox* value_ = nullptr;
};

} // namespace reedtab

#include "dialogs/posentry.h"

#include "model/midisong.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace reedtab {

CPosEntry::CPosEntry(QWidget* parent) : QDialog(parent) {
    prompt_ = new QLabel(this);
    prompt_->setVisible(false);
    bar_ = new QSpinBox(this);
    beat_ = new QSpinBox(this);
    tick_ = new QSpinBox(this);

    fields_ = new QFormLayout;
    fields_->addRow(QStringLiteral("Bar"), bar_);
    fields_->addRow(QStringLiteral("Beat"), beat_);
    fields_->addRow(QStringLiteral("Tick"), tick_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addLayout(fields_);
    layout->addWidget(buttons);

    applyRanges();
    setPosition(1, 1, 0);
}

void CPosEntry::setRange(int barCount, int division) {
    barCount_ = std::max(1, barCount);
    division_ = std::max(0, division);
    applyRanges();
}

void CPosEntry::setRangeCheck(bool on) {
    rangeCheck_ = on;
    applyRanges();
}

void CPosEntry::setPrompt(const QString& prompt) {
    prompt_->setText(prompt);
    prompt_->setVisible(!prompt.isEmpty());
}

void CPosEntry::setPosition(int bar, int beat, int tick) {
    bar_->setValue(bar);
    beat_->setValue(beat);
    tick_->setValue(tick);
}

void CPosEntry::setPositionOf(const MidiSong& song, std::int32_t tick) {
    const BarBeatTick position = song.tickToBarBeatTick(tick);
    if (position.result == 0) {
        setPosition(position.bar, position.beat, position.tick);
    } else {
        setPosition(1, 1, 0);
    }
}

int CPosEntry::bar() const {
    return bar_->value();
}
int CPosEntry::beat() const {
    return beat_->value();
}
int CPosEntry::tick() const {
    return tick_->value();
}

void CPosEntry::addField(const QString& label, QWidget* field) {
    fields_->addRow(label, field);
}

void CPosEntry::setPositionEnabled(bool enabled) {
    for (QSpinBox* field : {bar_, beat_, tick_})
        field->setEnabled(enabled);
}

void CPosEntry::applyRanges() {
    constexpr int kMax = std::numeric_limits<int>::max();
    if (rangeCheck_) {
        bar_->setRange(1, barCount_);
        beat_->setRange(0, kMax);
        tick_->setRange(0, division_);
    } else {
        bar_->setRange(0, kMax);
        beat_->setRange(0, kMax);
        tick_->setRange(0, kMax);
    }
}

CPosValueEntry::CPosValueEntry(QWidget* parent) : CPosEntry(parent) {
    value_ = new QDoubleSpinBox(this);
    value_->setDecimals(0);
    addField(QStringLiteral("Value"), value_);
    setValueRangeCheck(true);
}

void CPosValueEntry::setValueRangeCheck(bool on) {
    if (on)
        value_->setRange(0, 127);
    else
        value_->setRange(0, std::numeric_limits<int>::max());
}

void CPosValueEntry::setValue(double value) {
    value_->setValue(value);
}

double CPosValueEntry::value() const {
    return value_->value();
}

} // namespace reedtab

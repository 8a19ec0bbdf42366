#include "dialogs/valueentry.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QVBoxLayout>

namespace reedtab {

namespace {
// Far beyond any channel or tempo, small enough for the field to stay narrow.
constexpr double kUnchecked = 9999999;
} // namespace

CValueEntry::CValueEntry(QWidget* parent) : QDialog(parent) {
    value_ = new QDoubleSpinBox(this);
    value_->setDecimals(0);
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Value"), value_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    setRangeCheck(true);
}

void CValueEntry::setRangeCheck(bool on) {
    if (on)
        value_->setRange(0, 127);
    else
        value_->setRange(-kUnchecked, kUnchecked);
}

void CValueEntry::setDecimals(int decimals) {
    value_->setDecimals(decimals);
}

void CValueEntry::setValue(double value) {
    value_->setValue(value);
}

double CValueEntry::value() const {
    return value_->value();
}

} // namespace reedtab

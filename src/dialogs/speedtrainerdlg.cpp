#include "dialogs/speedtrainerdlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace reedtab {

namespace {

constexpr int kLargestPercent = 1000;
constexpr int kMostPasses = 99;

QSpinBox* field(int value, int largest, const QString& suffix, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(0, largest);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

} // namespace

CSpeedTrainerDlg::CSpeedTrainerDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Speed Trainer"));
    const QString percent = QStringLiteral(" %");
    start_ = field(60, kLargestPercent, percent, this);
    step_ = field(10, kLargestPercent, percent, this);
    target_ = field(100, kLargestPercent, percent, this);
    passes_ = field(2, kMostPasses, QString(), this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Start tempo"), start_);
    form->addRow(QStringLiteral("Raise by"), step_);
    form->addRow(QStringLiteral("Target tempo"), target_);
    form->addRow(QStringLiteral("Passes per step"), passes_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QSpinBox* box : {start_, step_, target_, passes_}) {
        connect(box, &QSpinBox::valueChanged, this, [this] { ok_->setEnabled(plan().valid()); });
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

SpeedTrainer CSpeedTrainerDlg::plan() const {
    return {start_->value(), step_->value(), target_->value(), passes_->value()};
}

} // namespace reedtab

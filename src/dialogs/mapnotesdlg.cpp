#include "dialogs/mapnotesdlg.h"
#include "model/midiconstants.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace reedtab {

namespace {

constexpr int kLargestPercent = 250;

QSpinBox* field(int largest, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(-1, largest);
    box->setValue(-1);
    return box;
}

} // namespace

CMapNotesDialog::CMapNotesDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Map Notes"));
    channel_ = new QComboBox(this);
    channel_->addItem(QStringLiteral("-"));
    for (int ch = 1; ch <= 16; ++ch)
        channel_->addItem(QString::number(ch));
    fromNote_ = field(kLastNote, this);
    toNote_ = field(kLastNote, this);
    volumeFrom_ = field(kLargestPercent, this);
    volumeTo_ = field(kLargestPercent, this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Chan"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Note"), this), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("From"), this), 1, 0);
    grid->addWidget(channel_, 1, 1);
    grid->addWidget(fromNote_, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("To"), this), 2, 0);
    grid->addWidget(toNote_, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("Volume change"), this), 3, 0);
    grid->addWidget(new QLabel(QStringLiteral("from %"), this), 3, 1);
    grid->addWidget(volumeFrom_, 3, 2);
    grid->addWidget(new QLabel(QStringLiteral("to %"), this), 4, 1);
    grid->addWidget(volumeTo_, 4, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(new QLabel(QStringLiteral("(-1 means any or untouched)"), this));
    layout->addWidget(buttons);
}

int CMapNotesDialog::channel() const {
    return channel_->currentIndex() - 1;
}
int CMapNotesDialog::fromNote() const {
    return fromNote_->value();
}
int CMapNotesDialog::toNote() const {
    return toNote_->value();
}
int CMapNotesDialog::volumeFromPercent() const {
    return volumeFrom_->value();
}
int CMapNotesDialog::volumeToPercent() const {
    return volumeTo_->value();
}

} // namespace reedtab

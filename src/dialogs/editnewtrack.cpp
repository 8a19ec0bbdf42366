#include "dialogs/editnewtrack.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace reedtab {

CEditNewTrack::CEditNewTrack(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("New Track"));
    name_ = new QLineEdit(this);
    name_->setMinimumWidth(200);
    channel_ = new QComboBox(this);
    for (int channel = 1; channel <= 16; ++channel) {
        channel_->addItem(QString::asprintf("%02d", channel));
    }
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Name"), name_);
    fields->addRow(QStringLiteral("Channel"), channel_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
}

QString CEditNewTrack::name() const {
    return name_->text();
}

void CEditNewTrack::setName(const QString& name) {
    name_->setText(name);
}

int CEditNewTrack::channelIndex() const {
    return std::max(0, channel_->currentIndex());
}

void CEditNewTrack::setChannelIndex(int channel) {
    channel_->setCurrentIndex(std::clamp(channel, 0, 15));
}

} // namespace reedtab

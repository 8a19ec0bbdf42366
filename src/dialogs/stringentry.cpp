#include "dialogs/stringentry.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace reedtab {

CStringEntry::CStringEntry(const QString& title, const QString& prompt, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    text_ = new QLineEdit(this);
    text_->setMinimumWidth(240);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(prompt, this));
    layout->addWidget(text_);
    layout->addWidget(buttons);
}

void CStringEntry::setText(const QString& text) {
    text_->setText(text);
}

QString CStringEntry::text() const {
    return text_->text();
}

} // namespace reedtab

#include "dialogs/stringentry.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace reedtab {

CStringEntry::CStringEntry(QWidget* parent, const QString& title, const QString& prompt,
                           const QString& text)
    : QDialog(parent) {
    setWindowTitle(title);
    field_ = new QLineEdit(text, this);
    field_->setMinimumWidth(260);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    if (!prompt.isEmpty())
        layout->addWidget(new QLabel(prompt, this));
    layout->addWidget(field_);
    layout->addWidget(buttons);
}

QString CStringEntry::text() const {
    return field_->text();
}

} // namespace reedtab

#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace reedtab {

/// One line of text: a title, a prompt above the field and the text to start from.
class CStringEntry : public QDialog {
    Q_OBJECT
public:
    CStringEntry(QWidget* parent, const QString& title, const QString& prompt, const QString& text);

    QString text() const;
    QLineEdit* field() const { return field_; }

private:
    QLineEdit* field_ = nullptr;
};

} // namespace reedtab

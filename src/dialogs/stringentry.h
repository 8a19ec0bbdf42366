#pragma once

#include <QDialog>

class QLineEdit;

namespace reedtab {

/// A modal entry of one line of text under a prompt, with OK and Cancel.
class CStringEntry : public QDialog {
    Q_OBJECT
public:
    CStringEntry(const QString& title, const QString& prompt, QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;

private:
    QLineEdit* text_ = nullptr;
};

} // namespace reedtab

#pragma once

#include <QDialog>

namespace reedtab {

/// The About box: program name and version, build date, the maker's notice and a button that
/// opens the product's web page in the default browser.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    /// `version` is the version text ("Version 3.1"), `buildDate` the program's build date.
    CAboutDlg(const QString& version, const QString& buildDate, QWidget* parent = nullptr);

    /// The text of every line the box shows, top to bottom (tests).
    QStringList lines() const;

signals:
    /// The web page button was pressed; the receiver opens `url`.
    void webPageRequested(const QString& url);
};

} // namespace reedtab

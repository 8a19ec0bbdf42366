#pragma once

// The user manual in the program: the Markdown pages of docs/manual, built in as resources
// (the same files the project's web page shows), in a window with Back, Forward and Contents.
// F1 anywhere in the program opens the page about the window it was pressed in.
//
// Threads: the user-interface thread.

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace reedtab {

class CManual : public QWidget {
    Q_OBJECT
public:
    /// The manual window of `owner` (a top-level window of its own, hidden until a page is
    /// shown). With `handleF1` it answers F1 in every window of the program.
    explicit CManual(QWidget& owner, bool handleF1 = false);
    ~CManual() override;

    /// Shows `page` ("playing.md", "toolwindows.md#mixer"), raised and active.
    void showPage(const QString& page);
    /// The page shown, as given to `showPage` or reached by a link ("" before any).
    QString currentPage() const;
    QTextBrowser* browser() const { return browser_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void helpFor(QWidget* window);

    QTextBrowser* browser_ = nullptr;
    bool handleF1_ = false;
};

/// The page of the manual that explains `window` (a tool window or dialog of the program);
/// the contents ("index.md") for the main window and anything the manual has no page for.
QString manualPageFor(const QWidget* window);

/// The heading's anchor as the web page makes it: lower case, spaces to "-", other
/// punctuation left out ("Tempo, loop and trainer" gives "tempo-loop-and-trainer").
QString headingAnchor(const QString& heading);

/// Makes the manual window of the main window `frame` (F1 answered everywhere from then on) and
/// returns it; a second call returns the same one.
CManual& installManual(QWidget& frame);

} // namespace reedtab

#pragma once

// The song's text dump in a window of the program's own, for desktops that cannot show the
// file: read-only, in a fixed-width face, with Save As.

#include <QString>
#include <QWidget>

#include <functional>

class QPlainTextEdit;

namespace reedtab {

class DumpWindow : public QWidget {
    Q_OBJECT
public:
    /// `owner` is the main frame; the window is a window of its own that goes with it.
    explicit DumpWindow(QWidget* owner);

    /// Shows `text` (the dump of the file `path`) under `title`.
    void showDump(const QString& title, const QString& text, const QString& path);
    QPlainTextEdit* text() const { return text_; }
    /// Writes the text to `path`; false when it cannot be written.
    bool saveTo(const QString& path) const;
    /// Asks where to save (`askPath`, else a file dialog) and saves there; a file that cannot
    /// be written is said.
    void saveAs();

    /// Where Save As asks for the file, the dump's own file suggested; "" cancels.
    std::function<QString(const QString& suggested)> askPath;
    /// How a failure is said (a message box when unset).
    std::function<void(const QString& text)> tell;

private:
    QPlainTextEdit* text_;
    QString path_;
};

} // namespace reedtab

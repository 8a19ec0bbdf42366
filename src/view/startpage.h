#pragma once

// The page the view shows on a start with no song to open, instead of an empty staff: "Open a
// song...", the example songs and the recent files, each one click away. It covers the view's
// viewport and goes once the document holds a song (opened, restored, or begun in edit mode).
//
// Threads: the user-interface thread.

#include <QStringList>
#include <QWidget>

class QAbstractScrollArea;
class QVBoxLayout;

namespace reedtab {

class CReedtabDoc;

class CStartPage : public QWidget {
    Q_OBJECT
public:
    /// Covers `view`'s viewport; `examples` and `recentFiles` are paths, shown in this order.
    CStartPage(QAbstractScrollArea& view, CReedtabDoc& doc, const QStringList& examples,
               const QStringList& recentFiles);
    ~CStartPage() override;

    /// The paths behind the song links, examples first (tests).
    QStringList songLinks() const { return links_; }

signals:
    /// "Open a song..." was chosen.
    void openDialogRequested();
    /// A song link was chosen.
    void openRequested(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addSongs(const QString& heading, const QStringList& paths, bool withFolder);

    CReedtabDoc& doc_;
    int listener_ = 0;
    QStringList links_;
    QVBoxLayout* songs_ = nullptr;
};

/// The example songs that come with the program: from the installed share/reedtab/examples
/// beside the program's bin folder, else (a program run from its build folder) from the
/// source tree. Empty when neither is there.
QStringList exampleSongs();

} // namespace reedtab

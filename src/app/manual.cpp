#include "app/manual.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace reedtab {

namespace {

// Where each window is explained, by its class; a window not listed (a small entry dialog)
// takes the page of the window it belongs to.
constexpr std::pair<const char*, const char*> kPages[] = {
    {"reedtab::CMonDiatonic", "toolwindows.md#diatonic-harmonica"},
    {"reedtab::CMonChromatic", "toolwindows.md#chromatic-harmonica"},
    {"reedtab::CMonPiano", "toolwindows.md#piano-keyboard"},
    {"reedtab::CMonMixer", "toolwindows.md#mixer"},
    {"reedtab::CMonLyrics", "toolwindows.md#lyrics"},
    {"reedtab::CMonEvents", "toolwindows.md#midi-events"},
    {"reedtab::CMonListen", "toolwindows.md#listen"},
    {"reedtab::CPlayList", "playlists.md"},
    {"reedtab::CEditToolbar", "editing.md#the-edit-toolbar"},
    {"reedtab::CEditNewTrack", "editing.md#the-edit-toolbar"},
    {"reedtab::CTrackPropDlg", "editing.md#track-and-file-properties"},
    {"reedtab::CFileProperties", "editing.md#track-and-file-properties"},
    {"reedtab::CMapNotesDialog", "editing.md#map-notes"},
    {"reedtab::CHarpFinderDlg", "harps.md#which-harp"},
    {"reedtab::CSpeedTrainerDlg", "playing.md#speed-trainer"},
    {"reedtab::CProperties", "tablature.md#options"},
    {"QPrintDialog", "printing.md"},
    {"QPrintPreviewDialog", "printing.md"},
    {"QPageSetupDialog", "printing.md"},
    {"QFileDialog", "opening.md"},
};

const QString kResourceRoot = QStringLiteral("qrc:/manual/");

// Scrolls to the heading the fragment of a link names: Markdown headings carry no anchors of
// their own, so the name is matched against each heading as the web page names it.
class ManualBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

protected:
    void doSetSource(const QUrl& url, QTextDocument::ResourceType type) override {
        QTextBrowser::doSetSource(url, type);
        fitPictures();
        // Named after the page's first heading: Markdown gives a page no title of its own.
        window()->setWindowTitle(document()->begin().text() +
                                 QStringLiteral(" - Reedtab Midi Manual"));
        if (url.hasFragment()) {
            // Once the page is laid out and the scroll range known.
            QTimer::singleShot(0, this,
                               [this, anchor = url.fragment()] { scrollToHeading(anchor); });
        }
    }

private:
    void scrollToHeading(const QString& anchor) {
        for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
            if (block.blockFormat().headingLevel() > 0 && headingAnchor(block.text()) == anchor) {
                verticalScrollBar()->setValue(
                    static_cast<int>(document()->documentLayout()->blockBoundingRect(block).top()));
                return;
            }
        }
    }

    // The screenshots are wider than the window: each is shown at the width there is room for.
    void fitPictures() {
        const int room = std::max(320, viewport()->width() - 40);
        QTextCursor cursor(document());
        for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                QTextImageFormat picture = fragment.charFormat().toImageFormat();
                const QImage image =
                    document()
                        ->resource(QTextDocument::ImageResource, QUrl(picture.name()))
                        .value<QImage>();
                if (!picture.isValid() || image.width() <= room) {
                    continue;
                }
                picture.setWidth(room);
                picture.setHeight(room * image.height() / image.width());
                cursor.setPosition(fragment.position());
                cursor.setPosition(fragment.position() + fragment.length(),
                                   QTextCursor::KeepAnchor);
                cursor.setCharFormat(picture);
            }
        }
    }
};

} // namespace

QString headingAnchor(const QString& heading) {
    QString anchor;
    for (const QChar c : heading.toLower()) {
        if (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_')) {
            anchor += c;
        } else if (c == QLatin1Char(' ')) {
            anchor += QLatin1Char('-');
        }
    }
    return anchor;
}

QString manualPageFor(const QWidget* window) {
    for (const QWidget* w = window; w; w = w->parentWidget()) {
        const QWidget* top = w->window();
        for (const auto& [name, page] : kPages) {
            if (top->inherits(name)) {
                return QString::fromLatin1(page);
            }
        }
        w = top;
    }
    return QStringLiteral("index.md");
}

CManual::CManual(QWidget& owner, bool handleF1) : QWidget(&owner, Qt::Window), handleF1_(handleF1) {
    setObjectName(QStringLiteral("manual"));
    setWindowTitle(QStringLiteral("Reedtab Midi Manual"));
    resize(820, 640);
    browser_ = new ManualBrowser(this);
    browser_->setOpenExternalLinks(true);
    auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
    auto* back = new QPushButton(QStringLiteral("< &Back"), this);
    auto* forward = new QPushButton(QStringLiteral("&Forward >"), this);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(contents, &QPushButton::clicked, this,
            [this] { showPage(QStringLiteral("index.md")); });
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);
    if (handleF1_) {
        qApp->installEventFilter(this);
    }
}

CManual::~CManual() {
    if (handleF1_) {
        qApp->removeEventFilter(this);
    }
}

void CManual::showPage(const QString& page) {
    // Shown first, so that the page is laid out at the window's width.
    show();
    raise();
    activateWindow();
    browser_->setSource(QUrl(kResourceRoot + page), QTextDocument::MarkdownResource);
}

QString CManual::currentPage() const {
    const QString url = browser_->source().toString();
    return url.startsWith(kResourceRoot) ? url.mid(kResourceRoot.size()) : url;
}

void CManual::helpFor(QWidget* window) {
    const QString page = manualPageFor(window);
    if (QWidget* modal = QApplication::activeModalWidget()) {
        // Windows other than the modal dialog's own children take no input while it is open,
        // so its manual opens as its child and goes with it.
        auto* manual = new CManual(*modal);
        manual->setAttribute(Qt::WA_DeleteOnClose);
        manual->showPage(page);
        return;
    }
    showPage(page);
}

bool CManual::eventFilter(QObject* watched, QEvent* event) {
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (!key || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1 ||
        static_cast<QKeyEvent*>(event)->modifiers() != Qt::NoModifier || !watched->isWidgetType()) {
        return QWidget::eventFilter(watched, event);
    }
    auto* widget = static_cast<QWidget*>(watched);
    // Claimed here, so that no shortcut takes it, and answered when the key arrives.
    event->accept();
    if (event->type() == QEvent::KeyPress && !qobject_cast<CManual*>(widget->window())) {
        helpFor(widget);
    }
    return true;
}

CManual& installManual(QWidget& frame) {
    if (auto* manual =
            frame.findChild<CManual*>(QStringLiteral("manual"), Qt::FindDirectChildrenOnly)) {
        return *manual;
    }
    return *new CManual(frame, true);
}

} // namespace reedtab

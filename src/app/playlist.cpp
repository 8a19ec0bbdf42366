#include "app/playlist.h"

#include "app/playlistmodel.h"
#include "settings/settings.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <functional>

namespace reedtab {

namespace {

constexpr int kIconSize = 32;
const char* const kMidiFilter = "Midi Files (*.mid *.kar);;All Files (*)";
const char* const kPlaylistFilter = "Playlist Files (*.lst)";

// A list whose lines can be dragged to a new place, like a drag list box: the line under the
// pointer is inverted while dragging, and a drop reports (source line, drop line).
class DragListBox : public QListWidget {
public:
    using QListWidget::QListWidget;

    std::function<void(int, int)> onDrop;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        QListWidget::mousePressEvent(event);
        if (event->button() == Qt::LeftButton) {
            source_ = indexAt(event->position().toPoint()).row();
            pressPos_ = event->position().toPoint();
            dragging_ = false;
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        if (source_ < 0 || !(event->buttons() & Qt::LeftButton)) {
            QListWidget::mouseMoveEvent(event);
            return;
        }
        const QPoint pos = event->position().toPoint();
        if (!dragging_ && (pos - pressPos_).manhattanLength() < QApplication::startDragDistance()) {
            return;
        }
        dragging_ = true;
        const int row = lineAt(pos);
        if (row != hover_) {
            hover_ = row;
            viewport()->update();
        }
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (dragging_ && event->button() == Qt::LeftButton) {
            const int source = source_;
            const int drop = lineAt(event->position().toPoint());
            endDrag();
            if (onDrop) {
                onDrop(source, drop);
            }
            return;
        }
        endDrag();
        QListWidget::mouseReleaseEvent(event);
    }

    void paintEvent(QPaintEvent* event) override {
        QListWidget::paintEvent(event);
        if (!dragging_ || hover_ < 0) {
            return;
        }
        QRect line;
        if (hover_ < count()) {
            line = visualItemRect(item(hover_));
        } else if (count() > 0) {
            const QRect last = visualItemRect(item(count() - 1));
            line = QRect(last.left(), last.bottom() + 1, last.width(), 2);
        }
        QPainter painter(viewport());
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(line, CPlayList::dragHighlightColour());
    }

private:
    // The line under `pos`; the line count below the last line; -1 outside the list.
    int lineAt(const QPoint& pos) const {
        if (!viewport()->rect().contains(pos)) {
            return -1;
        }
        const int row = indexAt(pos).row();
        return row >= 0 ? row : count();
    }

    void endDrag() {
        if (dragging_) {
            viewport()->update();
        }
        dragging_ = false;
        source_ = -1;
        hover_ = -1;
    }

    int source_ = -1;
    int hover_ = -1;
    bool dragging_ = false;
    QPoint pressPos_;
};

std::vector<std::string> toStdPaths(const QStringList& paths) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(paths.size()));
    for (const auto& path : paths) {
        out.push_back(path.toStdString());
    }
    return out;
}

} // namespace

CPlayList::CPlayList(PlaylistHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("Reedtab Midi PlayList"));

    auto* buttons = new QHBoxLayout;
    const auto addButton = [&](const char* text, void (CPlayList::*slot)()) {
        auto* button = new QPushButton(QString::fromLatin1(text), this);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, slot);
        buttons->addWidget(button);
    };
    addButton("Add", &CPlayList::addClicked);
    addButton("Clear", &CPlayList::clearList);
    addButton("Save", &CPlayList::saveClicked);
    addButton("Load", &CPlayList::loadClicked);
    buttons->addStretch();

    auto* box = new DragListBox(this);
    box->onDrop = [this](int source, int drop) { moveLine(source, drop); };
    list_ = box;
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->installEventFilter(this);
    connect(list_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { openLine(list_->row(item)); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addLayout(buttons);
    layout->addWidget(list_);

    const QFontMetrics metrics(font());
    resize(302 * metrics.averageCharWidth() / 4, 74 * metrics.height() / 8);
    restorePosition();
    refresh(false);
}

CPlayList::~CPlayList() {
    savePosition();
    host_.playlistWindowClosed();
}

QColor CPlayList::dragHighlightColour() {
    return QColor(128, 128, 0);
}

void CPlayList::refresh(bool keepLines) {
    const PlaylistModel& model = host_.playlist();
    if (!keepLines) {
        list_->clear();
        for (const auto& entry : model.entries()) {
            list_->addItem(QString::fromStdString(entry));
        }
    }
    const int current = model.currentIndex();
    if (current >= 0 && current < list_->count()) {
        list_->setCurrentRow(current);
    } else {
        list_->clearSelection();
    }
}

void CPlayList::openLine(int row) {
    PlaylistModel& model = host_.playlist();
    if (row < 0 || row >= model.count()) {
        return;
    }
    const int previous = model.currentIndex();
    model.setCurrentIndex(row);
    model.fromPlaylist = true;
    model.refreshSelection = true;
    if (!host_.openFile(QString::fromStdString(model.currentEntry()))) {
        model.setCurrentIndex(previous);
        refresh(true);
    }
}

void CPlayList::addFiles(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    PlaylistModel& model = host_.playlist();
    const bool wasEmpty = model.empty();
    model.append(toStdPaths(paths));
    if (wasEmpty) {
        model.setCurrentIndex(0);
        model.fromPlaylist = true;
        host_.openFile(QString::fromStdString(model.currentEntry()));
    } else {
        refresh(false);
    }
}

void CPlayList::clearList() {
    if (!host_.newDocument()) {
        return;
    }
    host_.playlist().clear();
    refresh(false);
    host_.repaintMainWindow();
}

bool CPlayList::savePlaylist(const QString& path) {
    const PlaylistModel& model = host_.playlist();
    if (list_->count() == 0) {
        QApplication::beep();
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QApplication::beep();
        return false;
    }
    const std::string text = formatPlaylistFile(model.currentIndex(), model.entries());
    return file.write(text.data(), static_cast<qint64>(text.size())) ==
           static_cast<qint64>(text.size());
}

bool CPlayList::loadPlaylist(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QApplication::beep();
        return false;
    }
    const QByteArray bytes = file.readAll();
    auto parsed = parsePlaylistFile(std::string_view(bytes.constData(), bytes.size()));
    if (!parsed) {
        QApplication::beep();
        return false;
    }
    PlaylistModel& model = host_.playlist();
    if (model.load(*parsed)) {
        host_.openFile(QString::fromStdString(model.currentEntry()));
    } else {
        refresh(false);
    }
    return true;
}

void CPlayList::moveLine(int source, int drop) {
    if (host_.playlist().move(source, drop) < 0) {
        return;
    }
    refresh(false);
}

void CPlayList::deleteFocusedLine() {
    const int line = list_->currentRow();
    if (!host_.playlist().remove(line)) {
        return;
    }
    refresh(false);
    if (list_->count() > 0) {
        list_->setCurrentRow(std::min(line, list_->count() - 1));
    }
}

void CPlayList::accept() {
    openLine(list_->currentRow());
}

bool CPlayList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete) {
            deleteFocusedLine();
            return true;
        }
        // The list would only report the key as an activation, and the dialog has no default
        // button to take it: Enter opens the selected line here.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CPlayList::addClicked() {
    addFiles(QFileDialog::getOpenFileNames(this, QString(), QString(),
                                           QString::fromLatin1(kMidiFilter)));
}

void CPlayList::saveClicked() {
    if (list_->count() == 0) {
        QApplication::beep();
        return;
    }
    QFileDialog dialog(this, QString(), QString(), QString::fromLatin1(kPlaylistFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("lst"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        savePlaylist(dialog.selectedFiles().front());
    }
}

void CPlayList::loadClicked() {
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                      QString::fromLatin1(kPlaylistFilter));
    if (!path.isEmpty()) {
        loadPlaylist(path);
    }
}

void CPlayList::restorePosition() {
    const char* const keys[] = {"List.x1", "List.y1", "List.x2", "List.y2"};
    int edges[4];
    for (int i = 0; i < 4; ++i) {
        const auto value = host_.store().readInt(kWindowSection, keys[i]);
        if (!value) {
            return;
        }
        edges[i] = *value;
    }
    const QScreen* screen = QApplication::primaryScreen();
    if (screen) {
        const QSize size = screen->size();
        // Pulled back as a whole, so that the window keeps its size.
        const int dx = std::max(0, edges[0] - (size.width() - kIconSize));
        const int dy = std::max(0, edges[1] - (size.height() - kIconSize));
        edges[0] -= dx;
        edges[2] -= dx;
        edges[1] -= dy;
        edges[3] -= dy;
    }
    if (edges[2] > edges[0] && edges[3] > edges[1]) {
        setGeometry(QRect(QPoint(edges[0], edges[1]), QPoint(edges[2] - 1, edges[3] - 1)));
    }
}

void CPlayList::savePosition() {
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
        return;
    }
    const QRect frame = geometry();
    SettingsStore& store = host_.store();
    store.writeInt(kWindowSection, "List.x1", frame.left());
    store.writeInt(kWindowSection, "List.y1", frame.top());
    store.writeInt(kWindowSection, "List.x2", frame.right() + 1);
    store.writeInt(kWindowSection, "List.y2", frame.bottom() + 1);
}

} // namespace reedtab

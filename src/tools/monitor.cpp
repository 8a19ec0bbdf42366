#include "tools/monitor.h"

#include "document/reedtabdoc.h"
#include "playback/midiinput.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "ui/transporthub.h"
#include "view/songpainter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalBlocker>
#include <QSvgRenderer>

#include <algorithm>
#include <map>
#include <string>

// The artwork lives in this static library; without the call the linker may leave it out.
static void initToolResources() {
    Q_INIT_RESOURCE(tools);
}

namespace reedtab {

namespace {

// The part of a window that must stay on the screen: an icon's width and height.
constexpr int kIconSize = 32;

// The caption and sizing borders the tool windows' sizes were drawn with.
constexpr QSize kDrawnFrame{8, 27};

// How far each window of a cascade steps right and down from the one before.
constexpr int kCascadeStep = 24;

// X11 key codes are the evdev scan codes moved up by 8.
constexpr int kX11KeycodeOffset = 8;

} // namespace

QSize contentSize(QSize whole) {
    return (whole - kDrawnFrame).expandedTo(QSize(1, 1));
}

QPoint firstPlacement(QSize window, const QRect& owner, int menusBottom, const QRect& screen,
                      std::span<const QRect> taken) {
    const int top = std::max(menusBottom, screen.top());
    QPoint start;
    if (owner.right() + window.width() < screen.right() + 1) {
        start = {owner.right() + 1, std::max(owner.top(), screen.top())};
    } else if (owner.bottom() + window.height() < screen.bottom() + 1) {
        start = {std::max(owner.left(), screen.left()), owner.bottom() + 1};
    } else {
        start = {screen.right() + 1 - window.width(), top};
    }
    QRect place(start, window);
    for (bool moved = true; moved;) {
        moved = false;
        for (const QRect& other : taken) {
            if (other.intersects(place)) {
                place.moveTop(other.bottom() + 1);
                moved = true;
            }
        }
    }
    if (place.bottom() > screen.bottom()) {
        const int step = kCascadeStep * static_cast<int>(taken.size());
        place.moveTopLeft(start + QPoint(step, step));
        place.moveLeft(
            std::max(screen.left(), std::min(place.left(), screen.right() + 1 - window.width())));
        place.moveTop(std::max(top, std::min(place.top(), screen.bottom() + 1 - window.height())));
    }
    return place.topLeft();
}

const QPixmap& toolPicture(const char* name) {
    static std::map<std::string, QPixmap> pictures;
    const auto found = pictures.find(name);
    if (found != pictures.end()) {
        return found->second;
    }
    initToolResources();
    QSvgRenderer renderer(QStringLiteral(":/tools/%1.svg").arg(QLatin1String(name)));
    QPixmap picture(renderer.defaultSize());
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    renderer.render(&painter);
    painter.end();
    return pictures.emplace(name, picture).first->second;
}

QFont toolFont(int pixels) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setWeight(QFont::Normal);
    return font;
}

QComboBox* makeToolList(QWidget* window, const QRect& rect, const QFont& font,
                        const QString& toolTip) {
    auto* list = new QComboBox(window);
    list->setFont(font);
    list->setFocusPolicy(Qt::NoFocus);
    list->setToolTip(toolTip);
    list->setMaxVisibleItems(std::max(4, (rect.height() - 22) / 14));
    list->setGeometry(rect.left(), rect.top(), rect.width(), 21);
    return list;
}

bool isTypedCharacter(const QKeyEvent& event) {
    const QString text = event.text();
    return !text.isEmpty() && text.at(0).isPrint() &&
           !(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

int findKeyPlace(std::span<const KeyPlace> table, const QKeyEvent& event) {
    const int scan = static_cast<int>(event.nativeScanCode()) - kX11KeycodeOffset;
    const bool byPlace = scan > 0 && QGuiApplication::platformName() == QLatin1String("xcb");
    for (const KeyPlace& place : table) {
        if (byPlace ? place.scanCode == scan : place.qtKey == event.key()) {
            return place.value;
        }
    }
    return -1;
}

// ---- CMonitor ----

CMonitor::CMonitor(const ToolContext& context, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      context_(context) {
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::StrongFocus);
}

CMonitor::~CMonitor() {
    if (!destroyed_) {
        emit monitorClosed(this);
    }
}

int CMonitor::create() {
    if (created_) {
        return 0;
    }
    MonitorCreation creation;
    preCreate(creation);
    setWindowTitle(creation.title);
    setGeometry(QRect(creation.rect.topLeft(), contentSize(creation.rect.size())));
    if (onCreateContent() < 0) {
        return -1;
    }
    if (!hasStoredPlacement()) {
        placeBesideOwner();
    }
    created_ = true;
    show();
    repaint();
    return 0;
}

void CMonitor::refresh(int) {}
void CMonitor::noteOn(int, int, int) {}
void CMonitor::noteOff(int, int, int) {}
void CMonitor::onTextEvent(int) {}
void CMonitor::onEvent(int) {}

void CMonitor::followLayouts() {}

void CMonitor::applyColours() {
    update();
}
void CMonitor::preCreate(MonitorCreation&) {}
void CMonitor::onDestroyContent() {}

void CMonitor::heardNote(int) {}
void CMonitor::onButton(int, int) {}

int CMonitor::onCreateContent() {
    refresh(0);
    return 0;
}

bool CMonitor::hasStoredPlacement() const {
    return context_.store.readInt(kWindowSection, placementKey("x1")).has_value() &&
           context_.store.readInt(kWindowSection, placementKey("y1")).has_value();
}

void CMonitor::placeBesideOwner() {
    QWidget* owner = parentWidget();
    if (!owner) {
        return;
    }
    const QScreen* screen = owner->screen() ? owner->screen() : QApplication::primaryScreen();
    if (!screen) {
        return;
    }
    std::vector<QRect> taken;
    for (const CMonitor* other : owner->findChildren<CMonitor*>(Qt::FindDirectChildrenOnly)) {
        if (other != this && other->isVisible()) {
            taken.push_back(other->frameGeometry());
        }
    }
    // Before it is shown a window has no frame yet: it is counted as the one it was drawn with.
    const QSize whole = size() + kDrawnFrame;
    int menusBottom = owner->mapToGlobal(QPoint(0, 0)).y();
    if (const auto* frame = qobject_cast<const QMainWindow*>(owner)) {
        if (const QWidget* central = frame->centralWidget()) {
            menusBottom = central->mapToGlobal(QPoint(0, 0)).y();
        }
    }
    move(firstPlacement(whole, owner->frameGeometry(), menusBottom, screen->availableGeometry(),
                        taken));
}

std::string CMonitor::placementKey(const char* name) const {
    return "Mon" + std::to_string(monitorIndex()) + "." + name;
}

void CMonitor::savePlacement() {
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
        return;
    }
    const QRect normal = geometry();
    context_.store.writeInt(kWindowSection, placementKey("x1"), normal.left());
    context_.store.writeInt(kWindowSection, placementKey("y1"), normal.top());
    context_.store.writeInt(kWindowSection, placementKey("x2"), normal.right() + 1);
    context_.store.writeInt(kWindowSection, placementKey("y2"), normal.bottom() + 1);
}

void CMonitor::restorePlacement(int width, int height, bool force) {
    int edges[4];
    bool restored = true;
    const char* const names[] = {"x1", "y1", "x2", "y2"};
    for (int i = 0; i < 4; ++i) {
        const auto value = context_.store.readInt(kWindowSection, placementKey(names[i]));
        edges[i] = value.value_or(-1);
        restored = restored && value.has_value();
    }
    if (restored) {
        const QPoint corner = onScreen(edges[0], edges[1]);
        edges[0] = corner.x();
        edges[1] = corner.y();
    } else {
        const QRect current = geometry();
        edges[0] = current.left();
        edges[1] = current.top();
        edges[2] = current.right() + 1;
        edges[3] = current.bottom() + 1;
    }
    if (width != -1 && (!restored || force)) {
        edges[2] = edges[0] + width;
    }
    if (height != -1 && (!restored || force)) {
        edges[3] = edges[1] + height;
    }
    setGeometry(edges[0], edges[1], std::max(1, edges[2] - edges[0]),
                std::max(1, edges[3] - edges[1]));
}

QPoint CMonitor::onScreen(int x, int y) {
    if (const QScreen* screen = QApplication::primaryScreen()) {
        x = std::min(x, screen->size().width() - kIconSize);
        y = std::min(y, screen->size().height() - kIconSize);
    }
    return {x, y};
}

std::uint16_t CMonitor::fingeringOf(int eventIndex) const {
    const MergedEventList& list = context_.doc.song.mergedEvents;
    if (eventIndex < 0 || eventIndex >= list.count()) {
        return 0;
    }
    const MidiEvent* e = list[static_cast<std::size_t>(eventIndex)];
    if (e->isNoteOff()) {
        e = e->partner;
    }
    return e ? e->fingering : 0;
}

void CMonitor::sendNote(int note, int velocity, bool on, int channel) {
    const int used = settings().editMode ? context_.doc.editChannel : channel;
    context_.hub.sendNoteInput(makeNoteInput(on ? 2 : 1, static_cast<std::uint32_t>(used),
                                             static_cast<std::uint32_t>(note),
                                             static_cast<std::uint32_t>(velocity)));
}

void CMonitor::closeEvent(QCloseEvent* event) {
    if (!destroyed_) {
        destroyed_ = true;
        savePlacement();
        onDestroyContent();
        // Told now rather than when the deferred deletion runs, so that the frame's check
        // marks and a reopening command see the window gone at once.
        emit monitorClosed(this);
    }
    event->accept();
}

// ---- HeldKeys ----

bool HeldKeys::press(int key, int note) {
    if (count_ >= kCapacity) {
        return false;
    }
    const auto end = held_.begin() + count_;
    if (std::find_if(held_.begin(), end, [key](const Held& h) { return h.key == key; }) != end) {
        return false;
    }
    held_[static_cast<std::size_t>(count_++)] = {key, note};
    return true;
}

int HeldKeys::release(int key) {
    const auto end = held_.begin() + count_;
    const auto found =
        std::find_if(held_.begin(), end, [key](const Held& h) { return h.key == key; });
    if (found == end) {
        return -1;
    }
    const int note = found->note;
    std::copy(found + 1, end, found);
    --count_;
    return note;
}

// ---- HeldNotes ----

void HeldNotes::remove(int note, int code) {
    auto found = std::find_if(notes_.begin(), notes_.end(),
                              [&](const Note& n) { return n.note == note && n.code == code; });
    if (found == notes_.end()) {
        found = std::find_if(notes_.begin(), notes_.end(),
                             [&](const Note& n) { return n.note == note; });
    }
    if (found != notes_.end()) {
        notes_.erase(found);
    }
}

// ---- NoteButton ----

NoteButton::NoteButton(int id, const QString& text, CMonitor* window)
    : QPushButton(text, window), window_(window), id_(id) {
    setFocusPolicy(Qt::NoFocus);
}

void NoteButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QPushButton::mousePressEvent(event);
        return;
    }
    held_ = true;
    grabMouse();
    window_->onButton(id_, kButtonPressed);
}

void NoteButton::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void NoteButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !held_) {
        QPushButton::mouseReleaseEvent(event);
        return;
    }
    held_ = false;
    releaseMouse();
    window_->onButton(id_, kButtonReleased);
}

void NoteButton::keyPressEvent(QKeyEvent* event) {
    forwardKey(event);
}

void NoteButton::keyReleaseEvent(QKeyEvent* event) {
    forwardKey(event);
}

void moveHeardFrame(QPointer<NoteButton>& framed, NoteButton* button) {
    if (framed && framed != button) {
        framed->setHeard(QColor());
    }
    framed = button;
    if (button) {
        button->setHeard(toQColor(settings().colorHeard));
    }
}

void NoteButton::setHeard(const QColor& colour) {
    if (colour != heard_) {
        heard_ = colour;
        update();
    }
}

void NoteButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter painter(this);
    if (isDown()) {
        // A sunken face alone is hard to follow while a song plays; the held note glows.
        painter.fillRect(rect().adjusted(1, 1, -1, -1), QColor(255, 140, 0, 120));
    }
    if (heard_.isValid()) {
        // A frame, so that a hole both sounding and heard shows both.
        painter.setPen(QPen(heard_, 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(2, 2, -2, -2));
    }
}

void NoteButton::forwardKey(QKeyEvent* event) {
    // Alt combinations are the menus' and the frame's accelerators: they go their usual way.
    if (event->modifiers() & Qt::AltModifier) {
        event->ignore();
        return;
    }
    QApplication::sendEvent(window_, event);
}

bool takeTuningChoice(QComboBox& list, HarmonicaLayout& layout, int& tuningIndex,
                      const TuningFilePicker& pick) {
    const int index = list.currentIndex();
    if (index == layout.customIndex()) {
        if (layout.chooseTuningFile(pick) != 0) {
            const QSignalBlocker block(&list);
            list.setCurrentIndex(tuningIndex);
            return false;
        }
        list.setItemText(index, QString::fromStdString(layout.tuningName(index)));
    }
    tuningIndex = index;
    return true;
}

} // namespace reedtab

#include "tools/diatonicwindow.h"

#include "document/reedtabdoc.h"
#include "harmonica/diatoniclayout.h"
#include "harmonica/harpfinder.h"
#include "harmonica/notation.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "view/songpainter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QSignalBlocker>

namespace reedtab {

namespace {

constexpr int kPanelShown = 145;
constexpr int kPanelHidden = 5;
constexpr int kWindowHeight = 234;
constexpr int kKeyCode = 65536;
constexpr int kDrawKeys = 100;

constexpr std::array<const char*, 6> kStatisticLabels = {
    "Blow notes:", "Draw notes:", "Bend notes:", "Overblows :", "Overdraws :", "Unavailable:"};
constexpr std::array<const char*, 5> kOctaveNames = {"-2", "Low", "Std", "High", "+2"};

// 1..9 and 0 blow holes 1..10; q..p draw them.
constexpr KeyPlace kHoleKeys[] = {
    {2, Qt::Key_1, 0},
    {3, Qt::Key_2, 1},
    {4, Qt::Key_3, 2},
    {5, Qt::Key_4, 3},
    {6, Qt::Key_5, 4},
    {7, Qt::Key_6, 5},
    {8, Qt::Key_7, 6},
    {9, Qt::Key_8, 7},
    {10, Qt::Key_9, 8},
    {11, Qt::Key_0, 9},
    {16, Qt::Key_Q, kDrawKeys + 0},
    {17, Qt::Key_W, kDrawKeys + 1},
    {18, Qt::Key_E, kDrawKeys + 2},
    {19, Qt::Key_R, kDrawKeys + 3},
    {20, Qt::Key_T, kDrawKeys + 4},
    {21, Qt::Key_Y, kDrawKeys + 5},
    {22, Qt::Key_U, kDrawKeys + 6},
    {23, Qt::Key_I, kDrawKeys + 7},
    {24, Qt::Key_O, kDrawKeys + 8},
    {25, Qt::Key_P, kDrawKeys + 9},
};

bool isBend(int slot) {
    return slot >= kBend1 && slot <= kBend3;
}

// Where a hole's button of `slot` goes, relative to the hole's left edge.
QRect slotRect(int x, int slot, bool reversed) {
    switch (slot) {
    case kOver:
        return {x, reversed ? 156 : 50, 20, 16};
    case kDraw:
        return {x, 134, 20, 20};
    case kBlow:
        return {x, 68, 20, 20};
    default:
        return {x, reversed ? 98 - 16 * slot : 108 + 16 * slot, 20, 16};
    }
}

} // namespace

DiatonicStatistics countDiatonicNotes(const MidiSong& song, int markBegin, int markEnd,
                                      const DiatonicLayout& layout) {
    DiatonicStatistics counts;
    for (const MidiEvent* event : song.mergedEvents) {
        if (!event->isNoteOn() || !event->track || (event->track->flags & TrackShown) == 0) {
            continue;
        }
        if ((markBegin >= 0 && event->tick < markBegin) ||
            (markEnd >= 0 && event->tick >= markEnd)) {
            continue;
        }
        switch (diatonicUse(layout, event->data1)) {
        case NoteUse::Blow:
            ++counts.blow;
            break;
        case NoteUse::Draw:
            ++counts.draw;
            break;
        case NoteUse::Bend:
            ++counts.bends;
            break;
        case NoteUse::Overblow:
            ++counts.overblows;
            break;
        case NoteUse::Overdraw:
            ++counts.overdraws;
            break;
        case NoteUse::Unavailable:
            ++counts.unavailable;
            break;
        }
    }
    return counts;
}

CMonDiatonic::CMonDiatonic(const ToolContext& context, QWidget* owner)
    : CMonitor(context, owner), layout_(diatonicLayout()) {
    pickTuningFile = [this] {
        return QFileDialog::getOpenFileName(this, QString(), QString(),
                                            QString::fromLatin1(kTuningFileFilter))
            .toStdString();
    };
}

CMonDiatonic::~CMonDiatonic() = default;

int CMonDiatonic::onCreateContent() {
    listFont_ = toolFont(12);
    smallFont_ = toolFont(10);
    key_ = layout_.key();
    tuningIndex_ = layout_.tuningIndex();

    tuningList_ = makeToolList(this, QRect(2, 2, 300, 148), listFont_,
                               QStringLiteral("Select harmonica tuning"));
    keyList_ =
        makeToolList(this, QRect(2, 25, 43, 95), listFont_, QStringLiteral("Select harmonica key"));
    octaveList_ = makeToolList(this, QRect(50, 25, 55, 95), listFont_,
                               QStringLiteral("Select harmonica octave (low/normal/high)"));
    for (int i = 0; i < layout_.tuningCount(); ++i) {
        tuningList_->addItem(QString::fromStdString(layout_.tuningName(i)));
    }
    tuningList_->setCurrentIndex(tuningIndex_ < tuningList_->count() ? tuningIndex_ : -1);
    for (int i = 0; i < 12; ++i) {
        keyList_->addItem(QString::fromStdString(HarmonicaLayout::keyName((i + 7) % 12)));
    }
    for (const char* name : kOctaveNames) {
        octaveList_->addItem(QString::fromLatin1(name));
    }
    connect(tuningList_, &QComboBox::activated, this, [this] { tuningSelected(); });
    connect(keyList_, &QComboBox::activated, this, [this] { keySelected(); });
    connect(octaveList_, &QComboBox::activated, this, [this] { keySelected(); });

    const auto pushButton = [this](const QString& text, const QRect& rect, const QString& tip) {
        auto* button = new QPushButton(text, this);
        button->setGeometry(rect);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(tip);
        return button;
    };
    previousFifth_ = pushButton(QStringLiteral("< 5th"), QRect(110, 25, 40, 20),
                                QStringLiteral("Switch to previous key in the circle of fifths"));
    nextFifth_ = pushButton(QStringLiteral("5th >"), QRect(152, 25, 40, 20),
                            QStringLiteral("Switch to next key in the circle of fifths"));
    panelToggle_ = pushButton(QStringLiteral("<<<"), QRect(kPanelShown, 155, 30, 18),
                              QStringLiteral("Expand/shrink dialog"));
    connect(previousFifth_, &QPushButton::clicked, this, [this] { stepFifth(false); });
    connect(nextFifth_, &QPushButton::clicked, this, [this] { stepFifth(true); });
    connect(panelToggle_, &QPushButton::clicked, this, [this] { togglePanel(); });

    const auto checkBox = [this](const QString& text, int top, bool ticked, const QString& tip) {
        auto* box = new QCheckBox(text, this);
        // Wider than the 118 pixels of the classic layout: the style's tick box needs room.
        box->setGeometry(2, top, 140, 15);
        box->setChecked(ticked);
        box->setFocusPolicy(Qt::NoFocus);
        box->setToolTip(tip);
        return box;
    };
    bends_ =
        checkBox(QStringLiteral("show bends"), 50, true, QStringLiteral("Display available bends"));
    overblows_ =
        checkBox(QStringLiteral("overblows/valved"), 65, false,
                 QStringLiteral("Display available overbends or valved bends for valved holes"));
    showStats_ = checkBox(QStringLiteral("show stats"), 80, false,
                          QStringLiteral("Display bends count for currently selected tracks"));
    connect(bends_, &QCheckBox::toggled, this, [this] { showButtons(); });
    connect(overblows_, &QCheckBox::toggled, this, [this] { showButtons(); });
    connect(showStats_, &QCheckBox::toggled, this, [this] { updateStatistics(); });

    for (std::size_t k = 0; k < stats_.size(); ++k) {
        auto* text = new QLabel(QString::fromLatin1(kStatisticLabels[k]), this);
        text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        text->setGeometry(20, 98 + 16 * static_cast<int>(k), 115, 16);
        text->setToolTip(QStringLiteral("Control ID = %1").arg(kFirstStatistic + int(k)));
        stats_[k] = text;
    }

    restorePlacement(-1, -1, false);
    showPanel();
    buildButtons();
    showButtons();
    setWindowTitle(QStringLiteral("Reedtab Midi Diatonic Harmonica"));
    refresh(0);
    return 0;
}

void CMonDiatonic::onDestroyContent() {
    releaseHeldKeys();
}

void CMonDiatonic::restorePlacement(int, int, bool) {
    const auto x1 = context_.store.readInt(kWindowSection, placementKey("x1"));
    const auto y1 = context_.store.readInt(kWindowSection, placementKey("y1"));
    if (x1 && y1) {
        setGeometry(QRect(onScreen(*x1, *y1), size()));
    }
    optVisible_ =
        context_.store.readInt(kWindowSection, placementKey("optVisible")).value_or(1) != 0;
}

void CMonDiatonic::savePlacement() {
    CMonitor::savePlacement();
    context_.store.writeInt(kWindowSection, placementKey("optVisible"), optVisible_ ? 1 : 0);
}

// ---- Buttons ----

int CMonDiatonic::windowWidth() const {
    return 20 * layout_.holes() + 10 + panelOffset_ + 75;
}

void CMonDiatonic::buildButtons() {
    for (auto& hole : buttons_) {
        for (NoteButton*& button : hole) {
            delete button;
            button = nullptr;
        }
    }
    for (auto& hole : pressCount_) {
        hole.fill(0);
    }
    const int holes = std::min(layout_.holes(), kMaxHoles);
    const int key = layout_.key();
    for (int h = 0; h < holes; ++h) {
        for (int s = 0; s < kSlots; ++s) {
            const ReedPosition* position = layout_.positionAt(h, s);
            if (!position) {
                continue;
            }
            const int note = std::max(0, position->note + key);
            auto* button = new NoteButton(kFirstHoleButton + 6 * h + s,
                                          QString::fromStdString(notation().noteName(note)), this);
            button->hide();
            button->setFont(listFont_);
            button->setGeometry(slotRect(panelOffset_ + 50 + 20 * h, s, position->reversed));
            button->setToolTip(QStringLiteral(
                "Available notes, press to make it sound or enter notes in edit mode"));
            buttons_[static_cast<std::size_t>(h)][static_cast<std::size_t>(s)] = button;
        }
    }
    // The notes that sound now hold the buttons that play them on this harmonica down.
    for (const HeldNotes::Note& n : sounding_.notes()) {
        hold(n.note, n.eventIndex, n.code, true);
    }
    resize(contentSize(QSize(windowWidth(), kWindowHeight)));
    update();
    selectKeyAndOctave();
    // The buttons were made anew: the heard note gets its frame back.
    heardNote(heardNote_);
}

void CMonDiatonic::showButtons() {
    const bool bends = bends_->isChecked();
    const bool over = overblows_->isChecked();
    for (auto& hole : buttons_) {
        for (std::size_t s = 0; s < hole.size(); ++s) {
            if (NoteButton* button = hole[s]) {
                const int slot = static_cast<int>(s);
                button->setVisible((slot != kOver || over) && (!isBend(slot) || bends));
            }
        }
    }
}

NoteButton* CMonDiatonic::button(int hole, int slot) const {
    if (hole < 0 || hole >= kMaxHoles || slot < 0 || slot >= kSlots) {
        return nullptr;
    }
    return buttons_[static_cast<std::size_t>(hole)][static_cast<std::size_t>(slot)];
}

int CMonDiatonic::pressCount(int hole, int slot) const {
    return button(hole, slot)
               ? pressCount_[static_cast<std::size_t>(hole)][static_cast<std::size_t>(slot)]
               : 0;
}

void CMonDiatonic::press(int hole, int slot) {
    NoteButton* target = button(hole, slot);
    if (!target) {
        return;
    }
    int& count = pressCount_[static_cast<std::size_t>(hole)][static_cast<std::size_t>(slot)];
    if (++count == 1) {
        target->setDown(true);
    }
}

void CMonDiatonic::release(int hole, int slot) {
    NoteButton* target = button(hole, slot);
    if (!target) {
        return;
    }
    int& count = pressCount_[static_cast<std::size_t>(hole)][static_cast<std::size_t>(slot)];
    if (count > 0 && --count == 0) {
        target->setDown(false);
    }
}

void CMonDiatonic::hold(int note, int eventIndex, int code, bool down) {
    int hole = code % kKeyCode;
    int slot = code / kKeyCode;
    if (code == -1) {
        DiatonicPositionInfo info;
        const int alternative = layout_.alternativeOf(note, fingeringOf(eventIndex));
        if (layout_.positionOf(note, info, alternative) != 0) {
            return;
        }
        hole = info.hole;
        slot = info.technique;
    }
    if (down) {
        press(hole, slot);
    } else {
        release(hole, slot);
    }
}

void CMonDiatonic::noteOn(int note, int eventIndex, int code) {
    if (note < 0 || note > 127) {
        return;
    }
    sounding_.add(note, eventIndex, code);
    hold(note, eventIndex, code, true);
}

void CMonDiatonic::noteOff(int note, int eventIndex, int code) {
    if (note < 0 || note > 127) {
        return;
    }
    sounding_.remove(note, code);
    hold(note, eventIndex, code, false);
}

void CMonDiatonic::refresh(int) {
    for (std::size_t h = 0; h < buttons_.size(); ++h) {
        for (std::size_t s = 0; s < buttons_[h].size(); ++s) {
            if (pressCount_[h][s] != 0 && buttons_[h][s]) {
                buttons_[h][s]->setDown(false);
            }
            pressCount_[h][s] = 0;
        }
    }
    sounding_.clear();
    updateStatistics();
}

void CMonDiatonic::followLayouts() {
    key_ = layout_.key();
    tuningIndex_ = layout_.tuningIndex();
    tuningList_->setCurrentIndex(tuningIndex_ < tuningList_->count() ? tuningIndex_ : -1);
    buildButtons();
    showButtons();
    updateStatistics();
}

void CMonDiatonic::onButton(int id, int code) {
    const int hole = (id - kFirstHoleButton) / 6;
    const int slot = (id - kFirstHoleButton) % 6;
    const ReedPosition* position = layout_.positionAt(hole, slot);
    if (!position) {
        return;
    }
    const int note = position->note + layout_.key();
    if (code == kButtonPressed) {
        noteOn(note, -1, hole + slot * kKeyCode);
        sendNote(note, 120, true, 0);
    } else {
        noteOff(note, -1, hole + slot * kKeyCode);
        sendNote(note, 0, false, 0);
    }
    setFocus();
}

// ---- Computer keyboard ----

void CMonDiatonic::keyPressEvent(QKeyEvent* event) {
    const int value = event->modifiers() & Qt::AltModifier ? -1 : findKeyPlace(kHoleKeys, *event);
    if (value < 0) {
        CMonitor::keyPressEvent(event);
        return;
    }
    if (event->isAutoRepeat()) {
        return;
    }
    const int hole = value % kDrawKeys;
    const int slot = value >= kDrawKeys ? kDraw : kBlow;
    const ReedPosition* position = layout_.positionAt(hole, slot);
    if (!position) {
        return;
    }
    const int note = position->note + layout_.key();
    if (heldKeys_.press(value, note)) {
        noteOn(note, -1, hole + slot * kKeyCode);
        sendNote(note, 120, true, 0);
    }
}

void CMonDiatonic::keyReleaseEvent(QKeyEvent* event) {
    const int value = findKeyPlace(kHoleKeys, *event);
    if (value < 0) {
        CMonitor::keyReleaseEvent(event);
        return;
    }
    if (event->isAutoRepeat()) {
        return;
    }
    const int note = heldKeys_.release(value);
    if (note >= 0) {
        const int slot = value >= kDrawKeys ? kDraw : kBlow;
        noteOff(note, -1, value % kDrawKeys + slot * kKeyCode);
        sendNote(note, 255, false, 0);
    }
}

void CMonDiatonic::focusOutEvent(QFocusEvent* event) {
    releaseHeldKeys();
    CMonitor::focusOutEvent(event);
}

void CMonDiatonic::releaseHeldKeys() {
    heldKeys_.releaseAll([this](int note) {
        noteOff(note, -1, -1);
        sendNote(note, 255, false, 0);
    });
}

// ---- Options ----

void CMonDiatonic::selectKeyAndOctave() {
    const DiatonicTuningRecord* tuning = layout_.tuningAt(tuningIndex_);
    const int offset = tuning ? tuning->keyOffset : 0;
    const int key = layout_.key() + offset;
    const QSignalBlocker keys(keyList_);
    const QSignalBlocker octaves(octaveList_);
    keyList_->setCurrentIndex(((key + 5) % 12 + 12) % 12);
    octaveList_->setCurrentIndex(std::clamp((key - kDiatonicKeyLow) / 12, 0, 4));
}

void CMonDiatonic::layoutChangedHere() {
    layout_.build(key_, tuningIndex_);
    emit layoutChanged();
    buildButtons();
    showButtons();
    updateStatistics();
}

void CMonDiatonic::tuningSelected() {
    if (takeTuningChoice(*tuningList_, layout_, tuningIndex_, pickTuningFile)) {
        key_ = layout_.key();
        layoutChangedHere();
    }
}

void CMonDiatonic::keySelected() {
    const DiatonicTuningRecord* tuning = layout_.tuningAt(tuningIndex_);
    key_ = composeDiatonicKey(keyList_->currentIndex(), octaveList_->currentIndex(),
                              tuning ? tuning->keyOffset : 0);
    layoutChangedHere();
}

void CMonDiatonic::stepFifth(bool up) {
    keyList_->setCurrentIndex((keyList_->currentIndex() + (up ? 7 : 5)) % 12);
    keySelected();
}

void CMonDiatonic::togglePanel() {
    optVisible_ = !optVisible_;
    showPanel();
    buildButtons();
    showButtons();
}

void CMonDiatonic::showPanel() {
    panelOffset_ = optVisible_ ? kPanelShown : kPanelHidden;
    for (QWidget* control :
         std::initializer_list<QWidget*>{tuningList_, keyList_, octaveList_, previousFifth_,
                                         nextFifth_, bends_, overblows_, showStats_}) {
        control->setVisible(optVisible_);
    }
    panelToggle_->setText(optVisible_ ? QStringLiteral("<<<") : QStringLiteral(">>>"));
    panelToggle_->setGeometry(panelOffset_, 155, 30, 18);
    updateStatistics();
}

void CMonDiatonic::updateStatistics() {
    const bool shown = optVisible_ && showStats_->isChecked();
    for (QLabel* text : stats_) {
        text->setVisible(shown);
    }
    if (!shown) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const CReedtabDoc& doc = context_.doc;
    const DiatonicStatistics counts =
        countDiatonicNotes(doc.song, doc.markBegin, doc.markEnd, layout_);
    const int values[] = {counts.blow,      counts.draw,      counts.bends,
                          counts.overblows, counts.overdraws, counts.unavailable};
    for (std::size_t k = 0; k < stats_.size(); ++k) {
        stats_[k]->setText(
            QStringLiteral("%1 %2").arg(QString::fromLatin1(kStatisticLabels[k])).arg(values[k]));
    }
    QApplication::restoreOverrideCursor();
}

// ---- Picture ----

void CMonDiatonic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(smallFont_);
    const int left = panelOffset_;
    const auto text = [&painter](int x, int y, const QString& s) {
        painter.drawText(QRect(x, y, 200, 20), Qt::AlignLeft | Qt::AlignTop, s);
    };
    text(left, 76, QStringLiteral("BLOW +"));
    text(left, 134, QStringLiteral("DRAW -"));
    painter.drawPixmap(left + 25, 25, toolPicture("diatonicleft"));
    painter.setPen(Qt::white);
    text(left + 32, 104, QString::fromStdString(HarmonicaLayout::keyName(layout_.key() % 12)));
    const DiatonicTuningRecord& tuning = layout_.tuning();
    const int holes = std::min(layout_.holes(), kMaxHoles);
    painter.setPen(QColor(128, 128, 128));
    for (int h = 0; h < holes; ++h) {
        const int x = left + 50 + 20 * h;
        painter.drawPixmap(x, 20, toolPicture("diatoniccell"));
        if (tuning.valve[static_cast<std::size_t>(h)]) {
            painter.fillRect(QRect(x, 88, 20, 4), Qt::white);
            painter.fillRect(QRect(x, 130, 20, 4), Qt::white);
        }
        text(x + (h >= 9 ? 3 : 7), 105, QString::number(h + 1));
    }
    painter.drawPixmap(left + 50 + 20 * holes, 25, toolPicture("diatonicright"));
}

void CMonDiatonic::heardNote(int note) {
    heardNote_ = note;
    DiatonicPositionInfo info;
    const bool playable = note >= 0 && note <= 127 && layout_.positionOf(note, info) == 0;
    moveHeardFrame(heard_, playable ? button(info.hole, info.technique) : nullptr);
}

} // namespace reedtab

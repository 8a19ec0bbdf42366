#include "tools/chromaticwindow.h"

#include "harmonica/chromaticlayout.h"
#include "harmonica/notation.h"
#include "settings/settings.h"
#include "view/songpainter.h"

#include <QComboBox>
#include <QFileDialog>
#include <QPainter>

#include <algorithm>

namespace reedtab {

namespace {

constexpr int kWindowHeight = 209;
constexpr int kMinimumWidth = 310;
constexpr std::array<const char*, 5> kOctaveNames = {"-2", "Tenor", "Std", "High", "+2"};

QRect columnRect(int x, int column) {
    switch (column) {
    case kBlowIn:
        return {x, 40, 20, 16};
    case kBlowOut:
        return {x, 56, 20, 20};
    case kDrawOut:
        return {x, 133, 20, 20};
    default:
        return {x, 153, 20, 16};
    }
}

} // namespace

CMonChromatic::CMonChromatic(const ToolContext& context, QWidget* owner)
    : CMonitor(context, owner), layout_(chromaticLayout()) {
    pickTuningFile = [this] {
        return QFileDialog::getOpenFileName(this, QString(), QString(),
                                            QString::fromLatin1(kTuningFileFilter))
            .toStdString();
    };
}

CMonChromatic::~CMonChromatic() = default;

int CMonChromatic::onCreateContent() {
    listFont_ = toolFont(12);
    smallFont_ = toolFont(10);
    key_ = layout_.key();
    tuningIndex_ = layout_.tuningIndex();

    tuningList_ = makeToolList(this, QRect(2, 2, 193, 98), listFont_, QString());
    keyList_ = makeToolList(this, QRect(200, 2, 40, 98), listFont_, QString());
    octaveList_ = makeToolList(this, QRect(245, 2, 58, 98), listFont_, QString());
    for (int i = 0; i < layout_.tuningCount(); ++i) {
        tuningList_->addItem(QString::fromStdString(layout_.tuningName(i)));
    }
    tuningList_->setCurrentIndex(tuningIndex_ < tuningList_->count() ? tuningIndex_ : -1);
    for (int i = 0; i < 12; ++i) {
        keyList_->addItem(QString::fromStdString(HarmonicaLayout::keyName(i)));
    }
    for (const char* name : kOctaveNames) {
        octaveList_->addItem(QString::fromLatin1(name));
    }
    connect(tuningList_, &QComboBox::activated, this, [this] { tuningSelected(); });
    connect(keyList_, &QComboBox::activated, this, [this] { keySelected(); });
    connect(octaveList_, &QComboBox::activated, this, [this] { keySelected(); });
    selectKeyAndOctave();

    restorePlacement(-1, -1, true);
    buildButtons();
    setWindowTitle(QStringLiteral("Reedtab Midi Chromatic Harmonica"));
    refresh(0);
    return 0;
}

void CMonChromatic::buildButtons() {
    for (auto& row : buttons_) {
        for (NoteButton*& button : row) {
            delete button;
            button = nullptr;
        }
    }
    for (auto& row : pressCount_) {
        row.fill(0);
    }
    const int holes = std::min(layout_.holeCount(), kMaxHoles);
    for (int r = 0; r < holes; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const int note = layout_.noteAt(r, c);
            auto* button = new NoteButton(
                kFirstHoleButton + 4 * r + c,
                QString::fromStdString(notation().noteName(std::max(0, note))), this);
            button->setFont(listFont_);
            button->setGeometry(columnRect(45 + 20 * r, c));
            button->setToolTip(QStringLiteral(
                "Available notes, press to make it sound or enter notes in edit mode"));
            buttons_[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = button;
        }
    }
    // The notes that sound now hold the buttons that play them on this harmonica down.
    for (const HeldNotes::Note& n : sounding_.notes()) {
        hold(n.note, n.eventIndex, n.code, true);
    }
    resize(contentSize(QSize(holes < 10 ? kMinimumWidth : 20 * holes + 120, kWindowHeight)));
    update();
    for (auto& row : buttons_) {
        for (NoteButton* button : row) {
            if (button) {
                button->show();
            }
        }
    }
    // The buttons were made anew: the heard note gets its frame back.
    heardNote(heardNote_);
}

NoteButton* CMonChromatic::button(int row, int column) const {
    if (row < 0 || row >= kMaxHoles || column < 0 || column >= kColumns) {
        return nullptr;
    }
    return buttons_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

int CMonChromatic::pressCount(int row, int column) const {
    return button(row, column)
               ? pressCount_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]
               : 0;
}

bool CMonChromatic::target(int note, int eventIndex, int code, int& row, int& column) const {
    if (note < 0 || note > 127) {
        return false;
    }
    if (code == -1) {
        const int alternative = layout_.alternativeOf(note, fingeringOf(eventIndex));
        if (layout_.positionOf(note, row, column, alternative) != 0) {
            return false;
        }
    } else {
        row = (code - kFirstHoleButton) / 4;
        column = (code - kFirstHoleButton) % 4;
    }
    return button(row, column) != nullptr;
}

void CMonChromatic::hold(int note, int eventIndex, int code, bool down) {
    int row = 0;
    int column = 0;
    if (!target(note, eventIndex, code, row, column)) {
        return;
    }
    int& count = pressCount_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
    if (down && ++count == 1) {
        button(row, column)->setDown(true);
    } else if (!down && count > 0 && --count == 0) {
        button(row, column)->setDown(false);
    }
}

void CMonChromatic::noteOn(int note, int eventIndex, int code) {
    if (note < 0 || note > 127) {
        return;
    }
    sounding_.add(note, eventIndex, code);
    hold(note, eventIndex, code, true);
}

void CMonChromatic::noteOff(int note, int eventIndex, int code) {
    if (note < 0 || note > 127) {
        return;
    }
    sounding_.remove(note, code);
    hold(note, eventIndex, code, false);
}

void CMonChromatic::refresh(int) {
    for (std::size_t r = 0; r < buttons_.size(); ++r) {
        for (std::size_t c = 0; c < buttons_[r].size(); ++c) {
            if (pressCount_[r][c] != 0 && buttons_[r][c]) {
                buttons_[r][c]->setDown(false);
            }
            pressCount_[r][c] = 0;
        }
    }
    sounding_.clear();
}

void CMonChromatic::followLayouts() {
    key_ = layout_.key();
    tuningIndex_ = layout_.tuningIndex();
    tuningList_->setCurrentIndex(tuningIndex_ < tuningList_->count() ? tuningIndex_ : -1);
    selectKeyAndOctave();
    buildButtons();
}

void CMonChromatic::selectKeyAndOctave() {
    keyList_->setCurrentIndex(key_ % 12);
    octaveList_->setCurrentIndex(std::clamp((key_ - kChromaticKeyLow) / 12, 0, 4));
}

void CMonChromatic::onButton(int id, int code) {
    const int note = layout_.noteAt((id - kFirstHoleButton) / 4, (id - kFirstHoleButton) % 4);
    if (note < 0 || note > 127) {
        return;
    }
    if (code == kButtonPressed) {
        noteOn(note, -1, id);
        sendNote(note, 120, true, 0);
    } else {
        noteOff(note, -1, id);
        sendNote(note, 0, false, 0);
    }
    setFocus();
}

void CMonChromatic::layoutChangedHere() {
    layout_.build(key_, tuningIndex_);
    emit layoutChanged();
    buildButtons();
}

void CMonChromatic::tuningSelected() {
    if (takeTuningChoice(*tuningList_, layout_, tuningIndex_, pickTuningFile)) {
        key_ = layout_.key();
        layoutChangedHere();
    }
}

void CMonChromatic::keySelected() {
    key_ = composeChromaticKey(keyList_->currentIndex(), octaveList_->currentIndex());
    layoutChangedHere();
}

void CMonChromatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(smallFont_);
    painter.setPen(QColor(64, 64, 64));
    painter.drawPixmap(10, 35, toolPicture("chromaticleft"));
    const int holes = std::min(layout_.holeCount(), kMaxHoles);
    const int firstHole = layout_.tuning().firstHoleOffset;
    for (int r = 0; r < holes; ++r) {
        const int x = 45 + 20 * r;
        painter.drawPixmap(x, 20, toolPicture("chromaticcell"));
        const int h = firstHole + r;
        const QString number = h < 0 ? QStringLiteral("%1'").arg(h + 5) : QString::number(h + 1);
        painter.drawText(QRect(x + (h < 0 || h >= 9 ? 3 : 7), 97, 20, 14),
                         Qt::AlignLeft | Qt::AlignTop, number);
    }
    painter.drawPixmap(45 + 20 * holes, 60, toolPicture("chromaticright"));
}

void CMonChromatic::heardNote(int note) {
    heardNote_ = note;
    int row = 0;
    int column = 0;
    const bool playable = note >= 0 && note <= 127 && layout_.positionOf(note, row, column) == 0;
    moveHeardFrame(heard_, playable ? button(row, column) : nullptr);
}

} // namespace reedtab

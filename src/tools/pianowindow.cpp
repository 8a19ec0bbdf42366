#include "tools/pianowindow.h"

#include "harmonica/notation.h"

#include <QKeyEvent>
#include <QPainter>

namespace reedtab {

namespace {

constexpr int kTop = 10;
constexpr int kWhiteWidth = 14;
constexpr int kWindowHeight = 115;

// Two rows of the computer keyboard as two octaves of a piano: z..slash from C3, q..] from C4.
constexpr KeyPlace kPianoKeys[] = {
    {44, Qt::Key_Z, 48},
    {31, Qt::Key_S, 49},
    {45, Qt::Key_X, 50},
    {32, Qt::Key_D, 51},
    {46, Qt::Key_C, 52},
    {47, Qt::Key_V, 53},
    {34, Qt::Key_G, 54},
    {48, Qt::Key_B, 55},
    {35, Qt::Key_H, 56},
    {49, Qt::Key_N, 57},
    {36, Qt::Key_J, 58},
    {50, Qt::Key_M, 59},
    {51, Qt::Key_Comma, 60},
    {38, Qt::Key_L, 61},
    {52, Qt::Key_Period, 62},
    {39, Qt::Key_Semicolon, 63},
    {53, Qt::Key_Slash, 64},
    {16, Qt::Key_Q, 60},
    {3, Qt::Key_2, 61},
    {17, Qt::Key_W, 62},
    {4, Qt::Key_3, 63},
    {18, Qt::Key_E, 64},
    {19, Qt::Key_R, 65},
    {6, Qt::Key_5, 66},
    {20, Qt::Key_T, 67},
    {7, Qt::Key_6, 68},
    {21, Qt::Key_Y, 69},
    {8, Qt::Key_7, 70},
    {22, Qt::Key_U, 71},
    {23, Qt::Key_I, 72},
    {10, Qt::Key_9, 73},
    {24, Qt::Key_O, 74},
    {11, Qt::Key_0, 75},
    {25, Qt::Key_P, 76},
    {26, Qt::Key_BracketLeft, 77},
    {13, Qt::Key_Equal, 78},
    {27, Qt::Key_BracketRight, 79},
};

// Two keys may sound the same note (q and comma), so a held key is known by its place.
int placeOf(const QKeyEvent& event) {
    return event.nativeScanCode() != 0 ? static_cast<int>(event.nativeScanCode()) : event.key();
}

} // namespace

// ---- PianoKey ----

PianoKey::PianoKey(int id, bool black, CMonitor* window)
    : NoteButton(id, QString(), window), black_(black) {}

void PianoKey::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const char* name = black_ ? (isDown() ? "blackkeydown" : "blackkey")
                              : (isDown() ? "whitekeydown" : "whitekey");
    painter.drawPixmap(0, 0, toolPicture(name));
}

// ---- CMonPiano ----

CMonPiano::CMonPiano(const ToolContext& context, QWidget* owner) : CMonitor(context, owner) {}

CMonPiano::~CMonPiano() = default;

int CMonPiano::onCreateContent() {
    int x = 4;
    std::array<PianoKey*, kKeys> black{};
    for (int k = 0; k < kKeys; ++k) {
        const int note = kLowestNote + k;
        const bool natural = Notation::accidental(note) == " ";
        auto* key = new PianoKey(kFirstKeyId + k, !natural, this);
        if (natural) {
            key->setGeometry(x, kTop, kWhiteWidth, 75);
            x += kWhiteWidth;
        } else {
            key->setGeometry(x - 7, kTop, 12, 45);
            black[static_cast<std::size_t>(k)] = key;
        }
        keys_[static_cast<std::size_t>(k)] = key;
    }
    for (PianoKey* key : black) {
        if (key) {
            key->raise();
        }
    }
    setWindowTitle(QStringLiteral("Reedtab Midi Piano"));
    refresh(0);
    const QSize size = contentSize(QSize(x + 13, kWindowHeight));
    restorePlacement(size.width(), size.height(), true);
    return 0;
}

void CMonPiano::onDestroyContent() {
    releaseHeldKeys();
}

PianoKey* CMonPiano::key(int note) const {
    const int k = note - kLowestNote;
    return k >= 0 && k < kKeys ? keys_[static_cast<std::size_t>(k)] : nullptr;
}

int CMonPiano::pressCount(int note) const {
    return key(note) ? pressCount_[static_cast<std::size_t>(note - kLowestNote)] : 0;
}

void CMonPiano::refresh(int) {
    for (std::size_t k = 0; k < keys_.size(); ++k) {
        if (pressCount_[k] != 0 && keys_[k]) {
            keys_[k]->setDown(false);
        }
        pressCount_[k] = 0;
    }
}

void CMonPiano::noteOn(int note, int, int) {
    if (PianoKey* target = key(note)) {
        if (++pressCount_[static_cast<std::size_t>(note - kLowestNote)] == 1) {
            target->setDown(true);
        }
    }
}

void CMonPiano::noteOff(int note, int, int) {
    if (PianoKey* target = key(note)) {
        int& count = pressCount_[static_cast<std::size_t>(note - kLowestNote)];
        if (count > 0 && --count == 0) {
            target->setDown(false);
        }
    }
}

void CMonPiano::onButton(int id, int code) {
    const int note = kLowestNote + id - kFirstKeyId;
    if (code == kButtonPressed) {
        noteOn(note, -1, -1);
        sendNote(note, 120, true, kChannel);
    } else {
        noteOff(note, -1, -1);
        sendNote(note, 0, false, kChannel);
    }
    setFocus();
}

int CMonPiano::noteOfKey(const QKeyEvent& event) {
    if (event.modifiers() & (Qt::AltModifier | Qt::ControlModifier)) {
        return -1;
    }
    return findKeyPlace(kPianoKeys, event);
}

void CMonPiano::keyPressEvent(QKeyEvent* event) {
    const int note = noteOfKey(*event);
    if (note < 0) {
        CMonitor::keyPressEvent(event);
        return;
    }
    if (!event->isAutoRepeat() && heldKeys_.press(placeOf(*event), note)) {
        noteOn(note, -1, -1);
        sendNote(note, 120, true, kChannel);
    }
}

void CMonPiano::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) {
        return;
    }
    const int note = heldKeys_.release(placeOf(*event));
    if (note < 0) {
        CMonitor::keyReleaseEvent(event);
        return;
    }
    noteOff(note, -1, -1);
    sendNote(note, 0, false, kChannel);
}

void CMonPiano::focusOutEvent(QFocusEvent* event) {
    releaseHeldKeys();
    CMonitor::focusOutEvent(event);
}

void CMonPiano::releaseHeldKeys() {
    heldKeys_.releaseAll([this](int note) {
        noteOff(note, -1, -1);
        sendNote(note, 0, false, kChannel);
    });
}

} // namespace reedtab

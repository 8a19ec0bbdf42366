#include "tools/lyricswindow.h"

#include "document/product.h"
#include "document/reedtabdoc.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "view/songpainter.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <string>
#include <string_view>

namespace reedtab {

namespace {

constexpr int kTextTop = 28;
constexpr int kMargin = 4;
// A place is stored as end * 65536 + start in 32 signed bits.
constexpr int kLargestPlace = 32767;

bool isWords(const MidiEvent& event) {
    return event.kind() == KindLyric || event.kind() == KindText;
}

int wordsCount(const MidiTrack& track) {
    int count = 0;
    for (const auto& event : track.events) {
        count += isWords(*event) ? 1 : 0;
    }
    return count;
}

} // namespace

CMonLyrics::CMonLyrics(const ToolContext& context, QWidget* owner) : CMonitor(context, owner) {}

CMonLyrics::~CMonLyrics() = default;

int CMonLyrics::onCreateContent() {
    setWindowTitle(QStringLiteral("Reedtab Midi Lyrics"));
    tracks_ = makeToolList(this, QRect(4, 4, 200, 146), QApplication::font(),
                           QStringLiteral("Track with the lyrics"));
    connect(tracks_, &QComboBox::activated, this, [this](int item) {
        lyricsTrack_ = tracks_->itemData(item).toInt();
        fillText();
    });
    save_ = new QPushButton(QStringLiteral("Save..."), this);
    save_->setFont(QApplication::font());
    save_->setGeometry(208, 4, 45, 20);
    save_->setFocusPolicy(Qt::NoFocus);
    connect(save_, &QPushButton::clicked, this, [this] { saveCommand(); });
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QTextOption centred = text_->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    text_->document()->setDefaultTextOption(centred);
    applyLyricsSettings();
    restorePlacement(-1, -1, true);
    refresh(1);
    return 0;
}

void CMonLyrics::applyLyricsSettings() {
    if (!text_) {
        return;
    }
    const Settings& s = settings();
    text_->setFont(fontFromSpec(s.fontLyrics));
    QPalette colours = text_->palette();
    const QColor ink = toQColor(s.fontLyricsTxt);
    const QColor paper = toQColor(s.fontLyricsBg);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Text, ink);
        colours.setColor(group, QPalette::Base, paper);
    }
    // The syllable being sung stays marked while another window has the keyboard.
    colours.setColor(QPalette::Inactive, QPalette::Highlight,
                     colours.color(QPalette::Active, QPalette::Highlight));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Active, QPalette::HighlightedText));
    text_->setPalette(colours);
}

void CMonLyrics::resizeEvent(QResizeEvent* event) {
    CMonitor::resizeEvent(event);
    if (text_) {
        text_->setGeometry(kMargin, kTextTop, std::max(1, width() - 2 * kMargin),
                           std::max(1, height() - kTextTop - kMargin));
    }
}

void CMonLyrics::refresh(int flag) {
    if (!text_ || context_.doc.song.loading) {
        return;
    }
    if (!flag) {
        // Stopped, rewound or started: no word is being sung until the song reaches one.
        QTextCursor unmarked = text_->textCursor();
        unmarked.clearSelection();
        text_->setTextCursor(unmarked);
        return;
    }
    fillTrackList();
    fillText();
}

void CMonLyrics::fillTrackList() {
    tracks_->clear();
    lyricsTrack_ = -1;
    const MidiSong& song = context_.doc.song;
    int most = 0;
    for (int i = 0; i < song.trackCount(); ++i) {
        const MidiTrack& track = *song.tracks[static_cast<std::size_t>(i)];
        const int count = wordsCount(track);
        if (count == 0) {
            continue;
        }
        tracks_->addItem(QStringLiteral("%1 %2")
                             .arg(i, 2, 10, QLatin1Char('0'))
                             .arg(decodeText(track.name.data(), track.name.size())),
                         i);
        if (count > most) {
            most = count;
            lyricsTrack_ = i;
            tracks_->setCurrentIndex(tracks_->count() - 1);
        }
    }
}

QString CMonLyrics::pieceOf(const MidiEvent& event, bool& placed) {
    const std::string_view bytes = event.bytes();
    placed = !(bytes.size() == 1 && (bytes[0] == '\n' || bytes[0] == '\r'));
    std::string piece;
    bool breakAfter = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\0') {
            break;
        }
        if (c == '@' && i + 1 < bytes.size()) {
            if (bytes[i + 1] == 'L') {
                break;
            }
            breakAfter = true;
            ++i;
            continue;
        }
        switch (c) {
        case '\n':
        case '\r':
        case '%':
        case '/':
        case '\\':
            piece += '\n';
            break;
        case '^':
            piece += ' ';
            break;
        default:
            piece += c;
            break;
        }
    }
    if (breakAfter) {
        piece += '\n';
    }
    return decodeText(piece.data(), piece.size());
}

void CMonLyrics::fillText() {
    text_->hide();
    QString all;
    // Past the box's limit the remaining words get no place.
    bool full = false;
    const MidiTrack* track = context_.doc.song.track(lyricsTrack_);
    if (track) {
        for (const auto& event : track->events) {
            if (!isWords(*event)) {
                continue;
            }
            event->lyricScratch = 0;
            if (full) {
                continue;
            }
            bool placed = false;
            const QString piece = pieceOf(*event, placed);
            full = all.size() + piece.size() > kTextLimit;
            if (piece.isEmpty() || full) {
                continue;
            }
            const int start = static_cast<int>(all.size()) + (piece.front() == u' ' ? 1 : 0);
            all += piece;
            const int end = static_cast<int>(all.size());
            if (placed && end <= kLargestPlace) {
                event->lyricScratch = end * 65536 + start;
            }
        }
    }
    text_->setPlainText(all);
    text_->show();
}

void CMonLyrics::onTextEvent(int eventIndex) {
    const MidiSong& song = context_.doc.song;
    if (!text_ || eventIndex < 0 || eventIndex >= song.mergedEvents.count()) {
        return;
    }
    const MidiEvent& event = *song.mergedEvents[static_cast<std::size_t>(eventIndex)];
    if (event.lyricScratch == 0 || !event.track || event.track != song.track(lyricsTrack_)) {
        return;
    }
    QTextCursor marked(text_->document());
    marked.setPosition(event.lyricScratch & 0xFFFF);
    marked.setPosition(event.lyricScratch >> 16, QTextCursor::KeepAnchor);
    text_->setTextCursor(marked);
    // One line ahead: the next words are in sight before they are sung.
    const int lineHeight = text_->fontMetrics().lineSpacing();
    if (text_->cursorRect().bottom() + lineHeight > text_->viewport()->height()) {
        QScrollBar* bar = text_->verticalScrollBar();
        bar->setValue(bar->value() + 1);
    }
}

void CMonLyrics::saveCommand() {
    if (tracks_->count() == 0) {
        return;
    }
    QFileDialog dialog(this, QString(), QString(), QStringLiteral("Text Files (*.txt)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        saveText(dialog.selectedFiles().front());
    }
}

bool CMonLyrics::saveText(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        return false;
    }
    QByteArray out;
    for (QTextBlock line = text_->document()->begin(); line.isValid(); line = line.next()) {
        out += line.text().toUtf8();
        out += '\n';
    }
    out += "\n\n";
    out += kProductWebAddress;
    out += '\n';
    return file.write(out) == out.size();
}

} // namespace reedtab

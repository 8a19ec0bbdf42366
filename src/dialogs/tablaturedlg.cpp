#include "dialogs/tablaturedlg.h"

#include "harmonica/harmonicalayout.h"
#include "harmonica/harpfinder.h"
#include "model/midisong.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace reedtab {

namespace {

// The tracks numbered as the note menu and the mixer number them, the melody track chosen.
QComboBox* newTrackList(const MidiSong& song, QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (int t = 0; t < song.trackCount(); ++t) {
        list->addItem(QStringLiteral("%1 %2")
                          .arg(t, 2, 10, QLatin1Char('0'))
                          .arg(QString::fromStdString(song.track(t)->name)));
    }
    list->setCurrentIndex(std::max(0, melodyTrack(song)));
    return list;
}

QDialogButtonBox* okCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

struct StyleChoice {
    TabStyle style;
    const char* text;
};

constexpr StyleChoice kStyles[] = {
    {TabStyle::Plus, "+4 -4 -4' +6o (blow +, draw -)"},
    {TabStyle::Plain, "4 -4 -4' 6o (blow bare)"},
    {TabStyle::HarpSurgery, "4B 4D 4D' 6B# (letters)"},
    {TabStyle::BBends, "+4 -4 -4b +6o (bends as b)"},
    {TabStyle::DrawDefault, "+4 4 4' +6o (draw bare)"},
};

} // namespace

CTabTextExportDlg::CTabTextExportDlg(const MidiSong& song, const HarmonicaLayout& layout,
                                     int32_t from, int32_t to, QWidget* parent)
    : QDialog(parent), song_(song), layout_(layout), from_(from), to_(to) {
    setWindowTitle(QStringLiteral("Export Tablature Text"));
    tracks_ = newTrackList(song, this);
    styles_ = new QComboBox(this);
    for (const StyleChoice& choice : kStyles) {
        styles_->addItem(QString::fromUtf8(choice.text));
    }
    bars_ = new QSpinBox(this);
    bars_->setRange(1, 64);
    bars_->setValue(4);
    lyrics_ = new QCheckBox(QStringLiteral("Words under their notes"), this);
    preview_ = new QPlainTextEdit(this);
    preview_->setReadOnly(true);
    preview_->setLineWrapMode(QPlainTextEdit::NoWrap);
    preview_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    preview_->setMinimumSize(640, 280);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Harmonica"),
                 new QLabel(QString::fromStdString(layout.layoutTitle()), this));
    form->addRow(QStringLiteral("Track"), tracks_);
    form->addRow(QStringLiteral("Spelling"), styles_);
    form->addRow(QStringLiteral("Bars a line"), bars_);
    form->addRow(QString(), lyrics_);
    auto* layoutBox = new QVBoxLayout(this);
    layoutBox->addLayout(form);
    layoutBox->addWidget(preview_, 1);
    layoutBox->addWidget(okCancel(this));

    connect(tracks_, &QComboBox::currentIndexChanged, this, &CTabTextExportDlg::refresh);
    connect(styles_, &QComboBox::currentIndexChanged, this, &CTabTextExportDlg::refresh);
    connect(bars_, &QSpinBox::valueChanged, this, &CTabTextExportDlg::refresh);
    connect(lyrics_, &QCheckBox::toggled, this, &CTabTextExportDlg::refresh);
    refresh();
}

int CTabTextExportDlg::track() const {
    return tracks_->currentIndex();
}

TabTextOptions CTabTextExportDlg::options() const {
    TabTextOptions options;
    options.style = kStyles[std::clamp(styles_->currentIndex(), 0, 4)].style;
    options.barsPerLine = bars_->value();
    options.lyrics = lyrics_->isChecked();
    options.from = from_;
    options.to = to_;
    return options;
}

std::string CTabTextExportDlg::text() const {
    return writeTabText(song_, track(), layout_, options());
}

void CTabTextExportDlg::refresh() {
    preview_->setPlainText(QString::fromStdString(text()));
}

COptimizeFingeringsDlg::COptimizeFingeringsDlg(const MidiSong& song, const HarmonicaLayout& layout,
                                               bool marked, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Optimize Fingerings"));
    tracks_ = newTrackList(song, this);
    avoidBends_ = new QCheckBox(QStringLiteral("Avoid bends"), this);
    avoidOverblows_ = new QCheckBox(QStringLiteral("Avoid overblows and overdraws"), this);
    auto* about = new QLabel(
        QStringLiteral("Each note of the track takes the way of playing it that makes the "
                       "whole phrase easiest: fewer bends and overblows, shorter moves, fewer "
                       "changes of breath. Notes you chose yourself get the new choice too; "
                       "Undo takes it all back."),
        this);
    about->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Harmonica"),
                 new QLabel(QString::fromStdString(layout.layoutTitle()), this));
    form->addRow(QStringLiteral("Track"), tracks_);
    form->addRow(QStringLiteral("Notes"), new QLabel(marked ? QStringLiteral("between the marks")
                                                            : QStringLiteral("of the whole song"),
                                                     this));
    form->addRow(QString(), avoidBends_);
    form->addRow(QString(), avoidOverblows_);
    auto* box = new QVBoxLayout(this);
    box->addWidget(about);
    box->addLayout(form);
    box->addWidget(okCancel(this));
    setMinimumWidth(420);
}

int COptimizeFingeringsDlg::track() const {
    return tracks_->currentIndex();
}

FingeringOptions COptimizeFingeringsDlg::options() const {
    FingeringOptions options;
    options.avoidBends = avoidBends_->isChecked();
    options.avoidOverblows = avoidOverblows_->isChecked();
    return options;
}

} // namespace reedtab

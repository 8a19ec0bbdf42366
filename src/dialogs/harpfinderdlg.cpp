#include "dialogs/harpfinderdlg.h"

#include "dialogs/myharpsdlg.h"
#include "model/miditrack.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace reedtab {

namespace {

QCheckBox* filterBox(const QString& text, bool checked, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setChecked(checked);
    return box;
}

QString shiftText(int shift) {
    return shift > 0 ? QStringLiteral("+%1").arg(shift) : QString::number(shift);
}

} // namespace

CHarpFinderDlg::CHarpFinderDlg(const MidiSong& song, int32_t from, int32_t to,
                               std::vector<OwnedHarp> myHarps, QWidget* parent)
    : QDialog(parent), song_(song), range_{melodyTrack(song), from, to},
      myHarps_(std::move(myHarps)) {
    setWindowTitle(QStringLiteral("Which Harp?"));
    tracks_ = new QComboBox(this);
    for (int t = 0; t < song.trackCount(); ++t) {
        // Numbered as the note menu and the mixer number them.
        tracks_->addItem(QStringLiteral("%1 %2")
                             .arg(t, 2, 10, QLatin1Char('0'))
                             .arg(QString::fromStdString(song.track(t)->name)));
    }
    tracks_->setCurrentIndex(range_.track);
    diatonic_ = filterBox(QStringLiteral("Diatonic"), true, this);
    chromatic_ = filterBox(QStringLiteral("Chromatic"), true, this);
    noBends_ = filterBox(QStringLiteral("No bends"), false, this);
    noOvers_ = filterBox(QStringLiteral("No overblows/overdraws"), false, this);
    onlyMine_ = filterBox(QStringLiteral("Only my harps"), !myHarps_.empty(), this);
    onlyMine_->setEnabled(!myHarps_.empty());
    onlyMine_->setToolTip(QStringLiteral("Show only the harps you own (My Harps...)"));
    editMine_ = new QPushButton(QStringLiteral("My Harps..."), this);
    editMine_->setAutoDefault(false);
    editMine_->setToolTip(QStringLiteral("Choose the harps you own"));
    connect(editMine_, &QPushButton::clicked, this, &CHarpFinderDlg::editMyHarps);
    key_ = new QLabel(this);

    table_ = new QTableWidget(0, 9, this);
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Key"), QStringLiteral("Position"), QStringLiteral("Shift"),
         QStringLiteral("Blow"), QStringLiteral("Draw"), QStringLiteral("Bends"),
         QStringLiteral("Overs"), QStringLiteral("Unavailable"), QStringLiteral("Tuning")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setMinimumSize(640, 320);

    auto* trackRow = new QHBoxLayout;
    trackRow->addWidget(new QLabel(QStringLiteral("Track"), this));
    trackRow->addWidget(tracks_, 1);
    trackRow->addWidget(key_, 1);
    auto* filters = new QHBoxLayout;
    for (QCheckBox* box : {diatonic_, chromatic_, noBends_, noOvers_, onlyMine_}) {
        filters->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &CHarpFinderDlg::refresh);
    }
    filters->addWidget(editMine_);
    filters->addStretch(1);
    connect(tracks_, &QComboBox::currentIndexChanged, this, &CHarpFinderDlg::refresh);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table_, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    connect(table_, &QTableWidget::itemSelectionChanged, this,
            [this] { ok_->setEnabled(chosen() != nullptr); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(trackRow);
    layout->addLayout(filters);
    layout->addWidget(table_, 1);
    layout->addWidget(buttons);
    refresh();
}

const HarpCandidate* CHarpFinderDlg::chosen() const {
    const int row = table_->currentRow();
    if (row < 0 || row >= static_cast<int>(result_.candidates.size()) ||
        table_->selectedItems().isEmpty()) {
        return nullptr;
    }
    return &result_.candidates[static_cast<size_t>(row)];
}

void CHarpFinderDlg::refresh() {
    range_.track = tracks_->currentIndex();
    FinderOptions options;
    options.diatonic = diatonic_->isChecked();
    options.chromatic = chromatic_->isChecked();
    options.noBends = noBends_->isChecked();
    options.noOvers = noOvers_->isChecked();
    if (onlyMine_->isChecked()) {
        options.harps = myHarps_;
    }
    result_ = findHarps(song_, range_, options);
    key_->setText(QStringLiteral("Song key: %1 (%2), %3 notes")
                      .arg(QString::fromStdString(result_.key.name()),
                           result_.key.fromSignature ? QStringLiteral("key signature")
                                                     : QStringLiteral("estimated"))
                      .arg(result_.notes));
    table_->clearContents();
    table_->setRowCount(static_cast<int>(result_.candidates.size()));
    int row = 0;
    for (const HarpCandidate& c : result_.candidates) {
        const QString cells[] = {QString::fromStdString(c.keyName),
                                 QString::number(c.position),
                                 shiftText(c.shift),
                                 QString::number(c.use.blow),
                                 QString::number(c.use.draw),
                                 QString::number(c.use.bends),
                                 QString::number(c.use.overs),
                                 QString::number(c.use.unavailable),
                                 QString::fromStdString(c.tuning)};
        int column = 0;
        for (const QString& text : cells) {
            auto* item = new QTableWidgetItem(text);
            if (column < 8) {
                item->setTextAlignment(Qt::AlignCenter);
            }
            table_->setItem(row, column++, item);
        }
        ++row;
    }
    table_->resizeColumnsToContents();
    if (row > 0) {
        table_->selectRow(0);
    }
    ok_->setEnabled(chosen() != nullptr);
}

void CHarpFinderDlg::editMyHarps() {
    CMyHarpsDlg dialog(myHarps_, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    myHarps_ = dialog.harps();
    const QSignalBlocker block(onlyMine_);
    onlyMine_->setEnabled(!myHarps_.empty());
    onlyMine_->setChecked(!myHarps_.empty());
    refresh();
}

} // namespace reedtab

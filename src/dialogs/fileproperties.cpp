#include "dialogs/fileproperties.h"

#include "dialogs/posentry.h"
#include "dialogs/valueentry.h"
#include "document/documentui.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

namespace reedtab {

namespace {

constexpr double kMicrosPerMinute = 60000000.0;
constexpr int32_t kLargestTempo = 0xFFFFFF;

// Beats per minute rounded to two decimals, as the edit field starts with it.
double roundedBpm(int32_t micros) {
    if (micros <= 0)
        return 0;
    const int64_t m = micros;
    return static_cast<double>((6'000'000'000 + m / 2) / m) / 100.0;
}

QGroupBox* listBox(const QString& title, QComboBox* list,
                   std::initializer_list<QPushButton*> buttons, QWidget* parent) {
    auto* group = new QGroupBox(title, parent);
    auto* row = new QHBoxLayout(group);
    list->setParent(group);
    list->setMinimumWidth(220);
    row->addWidget(list, 1);
    for (QPushButton* button : buttons) {
        button->setParent(group);
        row->addWidget(button);
    }
    return group;
}

} // namespace

CFileProperties::CFileProperties(CReedtabDoc& doc, DocumentUi& ui, QWidget* parent)
    : CPropertyDialog(doc, ui, UndoEdit, parent) {
    setWindowTitle(QStringLiteral("MIDI File Properties"));
    signatures_ = new QComboBox(this);
    // The signatures are listed only: their buttons are there but have nothing to do.
    QPushButton* signatureButtons[] = {new QPushButton(QStringLiteral("Edit"), this),
                                       new QPushButton(QStringLiteral("Add"), this),
                                       new QPushButton(QStringLiteral("Del"), this)};
    for (QPushButton* button : signatureButtons)
        button->setEnabled(false);
    tempos_ = new QComboBox(this);
    edit_ = new QPushButton(QStringLiteral("Edit"), this);
    add_ = new QPushButton(QStringLiteral("Add"), this);
    remove_ = new QPushButton(QStringLiteral("Del"), this);
    connect(edit_, &QPushButton::clicked, this, [this] { editTempo(); });
    connect(add_, &QPushButton::clicked, this, [this] { addTempo(); });
    connect(remove_, &QPushButton::clicked, this, [this] { deleteTempo(); });

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listBox(QStringLiteral("Time Signature"), signatures_,
                              {signatureButtons[0], signatureButtons[1], signatureButtons[2]},
                              this));
    layout->addWidget(listBox(QStringLiteral("Tempo"), tempos_, {edit_, add_, remove_}, this));
    layout->addWidget(buttons);

    fillSignatures();
    fillTempos(false);
}

void CFileProperties::fillSignatures() {
    const MidiSong& song = doc_.song;
    signatures_->clear();
    for (const TimeSignatureEvent* signature : song.timeSignatureList) {
        signatures_->addItem(
            positionText(signature->tick) +
            QString::asprintf("  %d/%d", signature->numerator(), signature->denominator()));
    }
    signatures_->setCurrentIndex(signatures_->count() > 0 ? 0 : -1);
}

void CFileProperties::fillTempos(bool keepSelection) {
    const MidiSong& song = doc_.song;
    const int previous = keepSelection ? tempos_->currentIndex() : 0;
    tempos_->clear();
    for (size_t i = 0; i < song.tempoList.size(); ++i) {
        const TempoEvent* tempo = song.tempoList[i];
        const int32_t micros = tempo->value();
        const double bpm = micros > 0 ? kMicrosPerMinute / micros : 0.0;
        tempos_->addItem(positionText(tempo->tick) + QString::asprintf("  %.2f", bpm),
                         static_cast<int>(i));
    }
    if (tempos_->count() > 0)
        tempos_->setCurrentIndex(std::clamp(previous, 0, tempos_->count() - 1));
}

TempoEvent* CFileProperties::selected() const {
    const auto& list = doc_.song.tempoList;
    if (tempos_->currentIndex() < 0)
        return nullptr;
    const int index = tempos_->currentData().toInt();
    return index >= 0 && index < static_cast<int>(list.size()) ? list[static_cast<size_t>(index)]
                                                               : nullptr;
}

void CFileProperties::editTempo() {
    TempoEvent* tempo = selected();
    if (!tempo)
        return;
    CValueEntry entry(this);
    entry.setWindowTitle(QStringLiteral("Tempo"));
    entry.setRangeCheck(false);
    entry.setDecimals(2);
    const double start = roundedBpm(tempo->value());
    entry.setValue(start);
    if (entry.exec() != QDialog::Accepted)
        return;
    const double bpm = entry.value();
    if (bpm == start || bpm <= 0)
        return;
    const auto micros = static_cast<int32_t>(
        std::clamp(kMicrosPerMinute / bpm, 1.0, static_cast<double>(kLargestTempo)));
    doc_.setEventValue(tempo, micros);
    markChanged();
    fillTempos(true);
}

void CFileProperties::addTempo() {
    CPosValueEntry entry(this);
    entry.setWindowTitle(QStringLiteral("Tempo"));
    entry.setRange(barCount(), doc_.song.division);
    entry.setValueRangeCheck(false);
    entry.valueField()->setDecimals(2);
    entry.setValue(120);
    if (entry.exec() != QDialog::Accepted)
        return;
    const int32_t tick = doc_.song.barBeatTickToTick(entry.bar(), entry.beat(), entry.tick());
    doc_.insertEvent(0, tick, makeTempoEventFromBpm(entry.value()));
    markChanged();
    fillTempos(true);
}

void CFileProperties::deleteTempo() {
    TempoEvent* tempo = selected();
    // The song keeps at least one tempo.
    if (!tempo || doc_.song.tempoList.size() < 2)
        return;
    if (!ui_.askYesNo("Are you sure you want to delete it?", "Tempo change delete"))
        return;
    if (doc_.removeEvent(tempo) != 0)
        return;
    markChanged();
    fillTempos(false);
}

} // namespace reedtab

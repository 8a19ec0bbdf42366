#include "dialogs/trackpropdlg.h"

#include "dialogs/posentry.h"
#include "dialogs/programentry.h"
#include "dialogs/valueentry.h"
#include "document/documentui.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStringDecoder>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace reedtab {

namespace {

constexpr int kVolumeController = 7;
constexpr int kPanController = 10;
constexpr const char* kDeleteQuestion = "Are you sure you want to delete it?";

// Names read from a file may be UTF-8 or a single-byte code page.
QString decodeName(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError())
        text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return text;
}

QString channelText(const std::vector<uint8_t>& channels) {
    QString text = channels.size() > 1 ? QStringLiteral("Channels") : QStringLiteral("Channel");
    for (uint8_t channel : channels)
        text += QString::asprintf(" %d", channel + 1);
    return text;
}

} // namespace

CTrackPropDlg::CTrackPropDlg(CReedtabDoc& doc, DocumentUi& ui, int trackIndex, QWidget* parent)
    : CPropertyDialog(doc, ui, UndoTrackProperties, parent), trackIndex_(trackIndex) {
    setWindowTitle(QStringLiteral("Track Properties"));
    const int trackCount = doc_.song.trackCount();

    number_ = new QSpinBox(this);
    number_->setObjectName(QStringLiteral("trackNumber"));
    if (trackIndex_ == 0) {
        number_->setRange(0, 0);
        number_->setEnabled(false);
    } else {
        number_->setRange(1, std::max(1, trackCount - 1));
    }
    number_->setValue(trackIndex_);
    startName_ = decodeName(track().name);
    name_ = new QLineEdit(startName_, this);
    name_->setObjectName(QStringLiteral("trackName"));
    name_->setMinimumWidth(220);
    channelLabel_ = new QLabel(channelText(track().channels), this);
    changeChannel_ = new QPushButton(QStringLiteral("Change Ch"), this);
    connect(changeChannel_, &QPushButton::clicked, this, [this] { changeChannel(); });

    auto* head = new QGridLayout;
    head->addWidget(new QLabel(QStringLiteral("Track No"), this), 0, 0);
    head->addWidget(number_, 0, 1);
    head->addWidget(new QLabel(QStringLiteral("Track Name"), this), 0, 2);
    head->addWidget(name_, 0, 3, 1, 2);
    head->addWidget(channelLabel_, 1, 0, 1, 3);
    head->addWidget(changeChannel_, 1, 4);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    const QString titles[] = {QStringLiteral("GM Program"), QStringLiteral("Volume"),
                              QStringLiteral("Pan")};
    for (int i : {ProgramList, VolumeList, PanList}) {
        const auto which = static_cast<EventList>(i);
        ListControls& controls = lists_[i];
        auto* group = new QGroupBox(titles[i], this);
        controls.list = new QComboBox(group);
        controls.list->setMinimumWidth(300);
        controls.edit = new QPushButton(QStringLiteral("Edit"), group);
        controls.add = new QPushButton(QStringLiteral("Add"), group);
        controls.remove = new QPushButton(QStringLiteral("Del"), group);
        connect(controls.edit, &QPushButton::clicked, this, [this, which] { editEvent(which); });
        connect(controls.add, &QPushButton::clicked, this, [this, which] { addEvent(which); });
        connect(controls.remove, &QPushButton::clicked, this,
                [this, which] { deleteEvent(which); });
        auto* row = new QHBoxLayout(group);
        row->addWidget(controls.list, 1);
        row->addWidget(controls.edit);
        row->addWidget(controls.add);
        row->addWidget(controls.remove);
        layout->addWidget(group);
    }
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    fillAll(false);
}

MidiTrack& CTrackPropDlg::track() const {
    return *doc_.song.track(trackIndex_);
}

bool CTrackPropDlg::belongs(EventList which, const MidiEvent& event) const {
    switch (which) {
    case ProgramList:
        return event.kind() == KindProgram;
    case VolumeList:
        return event.kind() == KindController && event.data1 == kVolumeController;
    case PanList:
        return event.kind() == KindController && event.data1 == kPanController;
    }
    return false;
}

QString CTrackPropDlg::line(EventList which, const MidiEvent& event) const {
    const bool several = track().channels.size() > 1;
    QString text = positionText(event.tick);
    if (which == ProgramList) {
        text += QLatin1Char(' ') + programText(event.data1, event.channel());
        if (several)
            text += QString::asprintf(" (ch %d)", event.channel() + 1);
    } else {
        text += QString::asprintf("  %d", event.data2);
        if (several)
            text += QString::asprintf("  (ch %d)", event.channel() + 1);
    }
    return text;
}

void CTrackPropDlg::fill(EventList which, bool keepSelection) {
    QComboBox* list = lists_[which].list;
    const int previous = keepSelection ? list->currentIndex() : 0;
    list->clear();
    const MidiTrack& events = track();
    for (size_t i = 0; i < events.size(); ++i) {
        if (belongs(which, *events.at(i)))
            list->addItem(line(which, *events.at(i)), static_cast<int>(i));
    }
    if (list->count() > 0)
        list->setCurrentIndex(std::clamp(previous, 0, list->count() - 1));
}

void CTrackPropDlg::fillAll(bool keepSelection) {
    for (int i : {ProgramList, VolumeList, PanList})
        fill(static_cast<EventList>(i), keepSelection);
}

MidiEvent* CTrackPropDlg::selected(EventList which) const {
    const QComboBox* list = lists_[which].list;
    if (list->currentIndex() < 0)
        return nullptr;
    const int index = list->currentData().toInt();
    const MidiTrack& events = track();
    return index >= 0 && index < static_cast<int>(events.size())
               ? events.at(static_cast<size_t>(index))
               : nullptr;
}

void CTrackPropDlg::editEvent(EventList which) {
    MidiEvent* event = selected(which);
    if (!event)
        return;
    if (which == ProgramList) {
        CProgramEntry entry(this);
        entry.setWindowTitle(QStringLiteral("GM Program"));
        const BarBeatTick at = doc_.song.tickToBarBeatTick(event->tick);
        entry.setRange(barCount(), doc_.song.division);
        entry.setPosition(at.bar, at.beat, at.tick);
        entry.setProgram(event->data1, event->channel());
        if (entry.exec() != QDialog::Accepted || entry.program() == event->data1)
            return;
        doc_.setNoteValue(event, entry.program(), 0);
    } else {
        CValueEntry entry(this);
        entry.setWindowTitle(which == VolumeList ? QStringLiteral("Volume")
                                                 : QStringLiteral("Pan"));
        entry.setValue(event->data2);
        if (entry.exec() != QDialog::Accepted)
            return;
        const int value = std::clamp(static_cast<int>(std::lround(entry.value())), 0, 127);
        if (value == event->data2)
            return;
        doc_.setNoteValue(event, value, 1);
    }
    markChanged();
    fill(which, true);
}

void CTrackPropDlg::addEvent(EventList which) {
    const std::vector<uint8_t>& channels = track().channels;
    if (channels.empty()) {
        ui_.messageBox("No notes found inside the track", "Event add error",
                       MessageIcon::Exclamation);
        return;
    }
    const int channel = channels.front();
    std::unique_ptr<MidiEvent> event;
    int32_t tick = 0;
    if (which == ProgramList) {
        CProgramEntry entry(this);
        entry.setWindowTitle(QStringLiteral("GM Program"));
        entry.setRange(barCount(), doc_.song.division);
        entry.setProgram(-1, channel);
        if (entry.exec() != QDialog::Accepted)
            return;
        tick = doc_.song.barBeatTickToTick(entry.bar(), entry.beat(), entry.tick());
        event = makeChannelEvent(static_cast<uint8_t>(0xC0 | channel),
                                 static_cast<uint8_t>(entry.program()), 0);
    } else {
        CPosValueEntry entry(this);
        entry.setWindowTitle(which == VolumeList ? QStringLiteral("Volume")
                                                 : QStringLiteral("Pan"));
        entry.setRange(barCount(), doc_.song.division);
        entry.setValue(64);
        if (entry.exec() != QDialog::Accepted)
            return;
        tick = doc_.song.barBeatTickToTick(entry.bar(), entry.beat(), entry.tick());
        const int value = std::clamp(static_cast<int>(std::lround(entry.value())), 0, 127);
        event = makeChannelEvent(static_cast<uint8_t>(0xB0 | channel),
                                 which == VolumeList ? kVolumeController : kPanController,
                                 static_cast<uint8_t>(value));
    }
    doc_.insertEvent(trackIndex_, tick, std::move(event));
    markChanged();
    fill(which, true);
}

void CTrackPropDlg::deleteEvent(EventList which) {
    MidiEvent* event = selected(which);
    if (!event)
        return;
    const char* captions[] = {"Program set delete", "Volume set delete", "Pan set delete"};
    if (!ui_.askYesNo(kDeleteQuestion, captions[which]))
        return;
    if (doc_.removeEvent(event) != 0)
        return;
    markChanged();
    fill(which, false);
}

void CTrackPropDlg::changeChannel() {
    if (track().channels.size() != 1) {
        ui_.messageBox("Can't change channel when multiple channels are used in the same track",
                       "Change Ch", MessageIcon::Exclamation);
        return;
    }
    CValueEntry entry(this);
    entry.setWindowTitle(QStringLiteral("Change Ch"));
    entry.setRangeCheck(false);
    entry.setValue(track().channels.front() + 1);
    if (entry.exec() != QDialog::Accepted)
        return;
    const int channel = static_cast<int>(std::lround(entry.value())) - 1;
    if (channel < 0 || channel > 15) {
        ui_.messageBox("Error! Bad channel", "Bad Ch", MessageIcon::Exclamation);
        return;
    }
    if (doc_.setTrackChannel(trackIndex_, channel) != 0)
        return;
    markChanged();
    channelLabel_->setText(QString::asprintf("Channel %d ", channel + 1));
    fillAll(true);
}

bool CTrackPropDlg::pendingChanges() const {
    return name_->text() != startName_ || (trackIndex_ != 0 && number_->value() != trackIndex_);
}

void CTrackPropDlg::accept() {
    if (name_->text() != startName_) {
        doc_.renameTrack(trackIndex_, name_->text().toStdString());
        markChanged();
    }
    if (trackIndex_ != 0 && number_->value() != trackIndex_) {
        doc_.moveTrack(trackIndex_, number_->value());
        trackIndex_ = number_->value();
        markChanged();
    }
    CPropertyDialog::accept();
}

} // namespace reedtab

#include "dialogs/edittoolbar.h"

#include "dialogs/editnewtrack.h"
#include "dialogs/stringentry.h"
#include "document/documentnotice.h"
#include "document/documentui.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

// The pictures live in this static library; without the call the linker may leave them out.
static void initDialogResources() {
    Q_INIT_RESOURCE(dialogs);
}

namespace reedtab {

namespace {

constexpr int kIconSize = 32;
constexpr const char* kNeedTrack =
    "You need to create a new track in order to be able to edit an empty file";
constexpr const char* kNeedNoteTrack =
    "You need to create a new track in order to be able to edit a file whose only track is "
    "its tempo track";

constexpr const char* kPictures[kNoteValueCount] = {
    "whole", "half", "quarter", "eighth", "sixteenth", "thirtysecond", "triplet"};
constexpr const char* kNoteValueNames[kNoteValueCount] = {
    "Whole note",     "Half note",          "Quarter note",  "Eighth note",
    "Sixteenth note", "Thirty-second note", "Triplet eighth"};

QString channelText(int channel) {
    return QString::asprintf("%02d", channel + 1);
}

} // namespace

std::int32_t noteValueTicks(int noteValue, int division) {
    switch (noteValue) {
    case 0:
        return 4 * division;
    case 1:
        return 2 * division;
    case 3:
        return division / 2;
    case 4:
        return division / 4;
    case 5:
        return division / 8;
    case 6:
        return division / 3;
    default:
        return division;
    }
}

NoteLengths noteLengths(int noteValue, int percent, int division) {
    const std::int32_t value = noteValueTicks(noteValue, division);
    const std::int32_t sounding = std::max<std::int32_t>(1, value * percent / 100);
    return {sounding, value - sounding};
}

CEditToolbar::CEditToolbar(CReedtabDoc& doc, DocumentUi& ui, SettingsStore& store, QWidget* parent)
    : QDialog(parent), doc_(doc), ui_(ui), store_(store) {
    initDialogResources();
    setWindowTitle(QStringLiteral("Edit Toolbar"));
    setAttribute(Qt::WA_DeleteOnClose);
    readSettings();

    auto* bar = new QHBoxLayout;
    bar->setSpacing(1);
    noteValues_ = new QButtonGroup(this);
    noteValues_->setExclusive(true);
    for (int value = 0; value < kNoteValueCount; ++value) {
        auto* button = new QToolButton(this);
        button->setIcon(QIcon(QStringLiteral(":/dialogs/%1.svg").arg(kPictures[value])));
        button->setIconSize(QSize(16, 15));
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setToolTip(QString::fromLatin1(kNoteValueNames[value]));
        noteValues_->addButton(button, kNoteValueCommands[static_cast<size_t>(value)]);
        bar->addWidget(button);
    }
    bar->addStretch();
    noteValueButton(noteValue_)->setChecked(true);
    connect(noteValues_, &QButtonGroup::idClicked, this, [this](int id) {
        const auto* found = std::find(kNoteValueCommands.begin(), kNoteValueCommands.end(), id);
        setNoteValue(static_cast<int>(found - kNoteValueCommands.begin()));
    });

    trackList_ = new QComboBox(this);
    trackList_->setMinimumWidth(160);
    channelList_ = new QComboBox(this);
    lengthField_ = new QSpinBox(this);
    lengthField_->setRange(1, 100);
    lengthField_->setValue(lengthPercent_);
    velocityField_ = new QSpinBox(this);
    velocityField_->setRange(1, 127);
    velocityField_->setValue(velocity_);
    mouseWriteCheck_ = new QCheckBox(QStringLiteral("Enable mouse write"), this);
    mouseWriteCheck_->setChecked(mouseWrite_);

    auto* silenceButton = new QPushButton(QStringLiteral("Silence"), this);
    auto* newTrackButton = new QPushButton(QStringLiteral("New Track"), this);
    auto* addTextButton = new QPushButton(QStringLiteral("Add Text"), this);
    auto* closeButton = new QPushButton(QStringLiteral("Close"), this);
    // Return in a field must not close edit mode.
    for (QPushButton* button : {silenceButton, newTrackButton, addTextButton, closeButton}) {
        button->setAutoDefault(false);
    }

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Track"), this), 0, 0);
    fields->addWidget(trackList_, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Chan"), this), 0, 2);
    fields->addWidget(channelList_, 0, 3);
    fields->addWidget(new QLabel(QStringLiteral("Length %"), this), 1, 0);
    fields->addWidget(lengthField_, 1, 1);
    fields->addWidget(new QLabel(QStringLiteral("Vel"), this), 1, 2);
    fields->addWidget(velocityField_, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(silenceButton);
    buttons->addWidget(newTrackButton);
    buttons->addWidget(addTextButton);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(mouseWriteCheck_);
    bottom->addStretch();
    bottom->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(trackList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (ready_ && index >= 0) {
            doc_.editTrack = static_cast<std::int16_t>(index + 1);
            rebuildChannelList();
        }
    });
    connect(channelList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (ready_ && index >= 0) {
            doc_.editChannel = static_cast<std::int16_t>(channelList_->itemData(index).toInt());
        }
    });
    connect(lengthField_, &QSpinBox::valueChanged, this, [this](int value) {
        if (ready_) {
            lengthPercent_ = std::clamp(value, 1, 100);
            computeLengths();
        }
    });
    connect(velocityField_, &QSpinBox::valueChanged, this, [this](int value) {
        if (ready_) {
            velocity_ = std::clamp(value, 1, 127);
            doc_.editVelocity = static_cast<std::int16_t>(velocity_);
        }
    });
    connect(mouseWriteCheck_, &QCheckBox::toggled, this, [this](bool on) {
        if (ready_) {
            mouseWrite_ = on;
            doc_.mouseWrite = on;
        }
    });
    connect(silenceButton, &QPushButton::clicked, this, [this] { silence(); });
    connect(newTrackButton, &QPushButton::clicked, this, [this] { newTrack(); });
    connect(addTextButton, &QPushButton::clicked, this, [this] { addText(); });
    connect(closeButton, &QPushButton::clicked, this, [this] { close(); });

    placeWindow();
    listener_ = doc_.subscribe([this](const DocumentNotice& notice) { onNotice(notice); });

    // Notes go into the tracks after the tempo track: a song without one gets one first.
    if (doc_.song.trackCount() < 2) {
        const char* need = doc_.song.trackCount() == 0 ? kNeedTrack : kNeedNoteTrack;
        doc_.makeSongSkeleton();
        while (doc_.song.trackCount() < 2) {
            if (newTrack()) {
                break;
            }
            ui_.messageBox(need, "Reedtab Midi", MessageIcon::Exclamation);
        }
    }

    computeLengths();
    doc_.mouseWrite = mouseWrite_;
    doc_.editVelocity = static_cast<std::int16_t>(velocity_);
    ready_ = true;
    rebuildTrackList();
    settings().editMode = true;
}

CEditToolbar::~CEditToolbar() {
    finish();
}

void CEditToolbar::readSettings() {
    const auto read = [this](const char* key) {
        return store_.readInt(kWindowSection, key).value_or(-1);
    };
    storedX_ = read("Edit.x1");
    storedY_ = read("Edit.y1");
    if (const int percent = read("Edit.notepercent"); percent != -1) {
        lengthPercent_ = std::clamp(percent, 1, 100);
    }
    if (const int velocity = read("Edit.notevel"); velocity != -1) {
        velocity_ = std::clamp(velocity, 1, 127);
    }
    // A value from outside the button bar keeps the default: no button would show it.
    if (const int value = read("Edit.editnote"); value >= 0 && value < kNoteValueCount) {
        noteValue_ = value;
    }
    if (const int mouse = read("Edit.enablemouse"); mouse != -1) {
        mouseWrite_ = mouse != 0;
    }
}

void CEditToolbar::placeWindow() {
    if (storedX_ == -1 || storedY_ == -1) {
        return;
    }
    int x = storedX_;
    int y = storedY_;
    if (const QScreen* screen = QApplication::primaryScreen()) {
        x = std::clamp(x, 0, std::max(0, screen->size().width() - kIconSize));
        y = std::clamp(y, 0, std::max(0, screen->size().height() - kIconSize));
    }
    move(x, y);
}

QAbstractButton* CEditToolbar::noteValueButton(int noteValue) const {
    if (noteValue < 0 || noteValue >= kNoteValueCount) {
        return nullptr;
    }
    return noteValues_->button(kNoteValueCommands[static_cast<size_t>(noteValue)]);
}

QPushButton* CEditToolbar::button(const QString& text) const {
    for (QPushButton* candidate : findChildren<QPushButton*>()) {
        if (candidate->text() == text) {
            return candidate;
        }
    }
    return nullptr;
}

void CEditToolbar::setNoteValue(int noteValue) {
    if (noteValue < 0 || noteValue >= kNoteValueCount) {
        return;
    }
    noteValue_ = noteValue;
    noteValueButton(noteValue)->setChecked(true);
    computeLengths();
}

void CEditToolbar::computeLengths() {
    const NoteLengths lengths = noteLengths(noteValue_, lengthPercent_, doc_.song.division);
    doc_.soundingTicks = lengths.sounding;
    doc_.gapTicks = lengths.gap;
}

void CEditToolbar::ensureEditTrack() {
    const MidiSong& song = doc_.song;
    if (doc_.editTrack >= song.trackCount()) {
        doc_.editTrack = 0;
    }
    if (doc_.editTrack != 0) {
        return;
    }
    doc_.editTrack = 1;
    for (int index = 1; index < song.trackCount(); ++index) {
        if (song.tracks[static_cast<size_t>(index)]->flags & TrackShown) {
            doc_.editTrack = static_cast<std::int16_t>(index);
            break;
        }
    }
}

void CEditToolbar::rebuildTrackList() {
    const MidiSong& song = doc_.song;
    ensureEditTrack();
    const QSignalBlocker block(trackList_);
    trackList_->clear();
    for (int index = 1; index < song.trackCount(); ++index) {
        const std::string& name = song.tracks[static_cast<size_t>(index)]->name;
        trackList_->addItem(QString::asprintf("%02d ", index) + QString::fromStdString(name));
    }
    trackList_->setCurrentIndex(doc_.editTrack - 1);
    rebuildChannelList();
}

void CEditToolbar::rebuildChannelList() {
    const MidiTrack* track = doc_.editTrack >= 1 ? doc_.song.track(doc_.editTrack) : nullptr;
    const QSignalBlocker block(channelList_);
    channelList_->clear();
    if (track && !track->channels.empty()) {
        for (const std::uint8_t channel : track->channels) {
            channelList_->addItem(channelText(channel), static_cast<int>(channel));
        }
        doc_.editChannel = track->channels.front();
    } else {
        // A track with no channel of its own writes on a channel no other track uses.
        const int channel = doc_.song.findFreeChannel();
        channelList_->addItem(channelText(channel), channel);
        doc_.editChannel = static_cast<std::int16_t>(channel);
    }
    channelList_->setCurrentIndex(0);
    channelList_->setEnabled(channelList_->count() > 1);
}

bool CEditToolbar::newTrack() {
    if (!doc_.roomForTrack()) {
        return false;
    }
    CEditNewTrack dialog(this);
    dialog.setChannelIndex(doc_.song.findFreeChannel());
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    // The document's notice rebuilds the track list.
    return doc_.addNewTrack(dialog.channelIndex(), dialog.name().toStdString()) >= 0;
}

void CEditToolbar::addText() {
    CStringEntry entry(QStringLiteral("Add Text"), QStringLiteral("Text"), this);
    if (entry.exec() != QDialog::Accepted || entry.text().isEmpty()) {
        return;
    }
    doc_.addTextEdit(doc_.editTrack, doc_.cursorTick, entry.text().toStdString());
}

void CEditToolbar::silence() {
    doc_.cursorTick += doc_.soundingTicks + doc_.gapTicks;
    emit cursorMoved();
}

void CEditToolbar::onNotice(const DocumentNotice& notice) {
    if (ready_ && !finished_ && (notice.has(TracksChanged) || notice.has(SongReplaced))) {
        rebuildTrackList();
    }
}

void CEditToolbar::done(int result) {
    finish();
    QDialog::done(result);
}

void CEditToolbar::closeEvent(QCloseEvent* event) {
    finish();
    QDialog::closeEvent(event);
}

void CEditToolbar::finish() {
    if (finished_) {
        return;
    }
    finished_ = true;
    doc_.unsubscribe(listener_);
    if (!isMinimized() && !isMaximized()) {
        store_.writeInt(kWindowSection, "Edit.x1", x());
        store_.writeInt(kWindowSection, "Edit.y1", y());
    }
    store_.writeInt(kWindowSection, "Edit.notepercent", lengthPercent_);
    store_.writeInt(kWindowSection, "Edit.notevel", velocity_);
    store_.writeInt(kWindowSection, "Edit.editnote", noteValue_);
    store_.writeInt(kWindowSection, "Edit.enablemouse", mouseWrite_ ? 1 : 0);
    settings().editMode = false;
    emit closed();
}

} // namespace reedtab

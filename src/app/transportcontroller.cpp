#include "app/transportcontroller.h"

#include "app/mainframe.h"
#include "dialogs/speedtrainerdlg.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"
#include "playback/outputdevice.h"
#include "settings/settings.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "ui/transporthub.h"
#include "view/reedtabview.h"

#include <QStatusBar>
#include <QTimer>

#include <utility>

namespace reedtab {

namespace {

// The status text while Play waits for the built-in synthesizer to read its SoundFont, and how
// often it looks again.
constexpr const char* kSynthLoadingText = "Loading the SoundFont: playing starts when it is ready";
constexpr int kSynthWaitMs = 100;

} // namespace

TransportController::TransportController(Transport& transport, CReedtabDoc& doc,
                                         SettingsStore& store, OutputProvider& outputs,
                                         CMainFrame& frame)
    : transport_(transport), doc_(doc), store_(store), outputs_(outputs), frame_(frame) {
    connect(&frame_, &CMainFrame::spacePressed, this, &TransportController::spaceKey);
    connect(&frame_, &CMainFrame::homePressed, this, &TransportController::rewindCommand);
    connect(&frame_, &CMainFrame::resumeRequested, this, [this] { startPlaying(false, true); });
    connect(&frame_.hub(), &TransportHub::stopped, this, &TransportController::onPlayerStopped);
}

TransportController::~TransportController() = default;

void TransportController::registerCommands(CommandTable& table) {
    const auto playing = [this] { return transport_.isPlaying(); };
    const auto hasTracks = [this] { return doc_.song.trackCount() > 0; };
    table.add(
        ID_PLAY_PLAY, [this] { playCommand(); }, {}, playing);
    table.add(ID_PLAY_STOP, [this] { stopCommand(); });
    table.add(ID_PLAY_REWIND, [this] { rewindCommand(); });
    const std::pair<int, Shared<bool>*> toggles[] = {
        {ID_PLAY_METRONOME, &settings().playMetronome},
        {ID_PLAY_COUNT_IN, &settings().playCountIn},
        {ID_PLAY_LOOP, &settings().playLoop},
        {ID_PLAY_MIDI_CLOCK, &settings().sendMidiSt},
        {ID_PLAY_FILTER_PROGRAMS, &settings().skipPrgChange},
    };
    for (const auto& [id, setting] : toggles) {
        Shared<bool>* flag = setting;
        // A trainer loops whatever the switch says.
        CommandTable::Predicate checked = [flag] { return flag->load(); };
        if (id == ID_PLAY_LOOP) {
            checked = [this] { return transport_.looping(); };
        }
        table.add(
            id, [this, flag] { toggleSetting(*flag); }, {}, checked);
    }
    table.add(
        ID_SPEED_TRAINER, [this] { speedTrainerCommand(); },
        [=] { return hasTracks() && !playing(); });
}

void TransportController::toggleSetting(Shared<bool>& setting) {
    setting = !setting.load();
    saveSettings(store_, kSavePlayer);
    frame_.playbackOptionsChanged();
}

void TransportController::startPlaying(bool countIn, bool fromCursor) {
    if (transport_.isPlaying()) {
        return;
    }
    QStatusBar* status = frame_.statusBar();
    if (!transport_.deviceReady()) {
        status->showMessage(QString::fromLatin1(kSynthLoadingText));
        // Stop, or a newer Play, supersedes this request while it waits.
        const int request = ++playRequests_;
        QTimer::singleShot(kSynthWaitMs, this, [this, countIn, fromCursor, request] {
            if (request == playRequests_) {
                startPlaying(countIn, fromCursor);
            }
        });
        return;
    }
    if (status->currentMessage() == QLatin1String(kSynthLoadingText)) {
        status->clearMessage();
    }
    frame_.toolWindows().refreshAll(0);
    if (doc_.song.mergedEvents.empty()) {
        return;
    }
    frame_.playbackOptionsChanged();
    const PlayerResult started = transport_.play(countIn, fromCursor, doc_.cursorTick);
    reportStart(started);
    if (started == PlayerOk && !silenceTold_ && !outputs_.isHeard(transport_.outputDevice())) {
        silenceTold_ = true;
        frame_.messageBox(kSilentOutputText, "Reedtab Midi", MessageIcon::Warning);
    }
    frame_.view().repaintView();
    frame_.updateCommandStates();
}

void TransportController::startAt(int tick, bool countIn) {
    reportStart(transport_.startAt(tick, countIn));
}

void TransportController::reportStart(PlayerResult result) {
    if (result != PlayerOk && result != PlayerAlreadyPlaying && result != PlayerStartAfterEnd) {
        frame_.messageBox("Cannot start playing!", "Reedtab Midi", MessageIcon::Exclamation);
    }
}

void TransportController::startTrainer(const SpeedTrainer& plan) {
    if (!plan.valid() || doc_.song.mergedEvents.empty() || transport_.isPlaying()) {
        return;
    }
    frame_.playbackOptionsChanged();
    reportStart(transport_.startTrainer(plan));
    frame_.showTempoPercent();
    frame_.view().repaintView();
    frame_.updateCommandStates();
}

void TransportController::speedTrainerCommand() {
    if (doc_.song.trackCount() == 0 || transport_.isPlaying()) {
        return;
    }
    CSpeedTrainerDlg dialog(&frame_);
    if (dialog.exec() == QDialog::Accepted) {
        startTrainer(dialog.plan());
    }
}

void TransportController::playCommand() {
    if (transport_.isPlaying()) {
        stopCommand();
    } else {
        startPlaying(settings().playCountIn, false);
    }
}

void TransportController::stopCommand() {
    ++playRequests_;
    QStatusBar* status = frame_.statusBar();
    if (status->currentMessage() == QLatin1String(kSynthLoadingText)) {
        status->clearMessage();
    }
    transport_.stop();
    frame_.toolWindows().refreshAll(0);
    frame_.view().repaintView();
    frame_.updateCommandStates();
}

void TransportController::rewindCommand() {
    const int tick = transport_.rewind();
    if (settings().editMode) {
        doc_.cursorTick = tick;
    }
    frame_.view().repaintView();
    frame_.showPosition(-1);
    frame_.toolWindows().refreshAll(0);
}

void TransportController::spaceKey() {
    if (transport_.isPlaying()) {
        stopCommand();
        return;
    }
    frame_.playbackOptionsChanged();
    startPlaying(transport_.countsInFromCursor(), true);
}

void TransportController::onPlayerStopped() {
    frame_.toolWindows().refreshAll(0);
    if (settings().editMode && doc_.cursorTick >= 0) {
        // In edit mode the song ends where the writing goes on, not in the next song.
        transport_.seek(doc_.cursorTick);
        frame_.showPosition(-1);
        frame_.view().repaintView();
        frame_.updateCommandStates();
        return;
    }
    frame_.showPosition(-1);
    frame_.view().repaintView();
    const bool playlistTookOver = playNextSong && playNextSong();
    if (!playlistTookOver && settings().playLoop) {
        startAt(0, false);
    }
    frame_.updateCommandStates();
}

} // namespace reedtab

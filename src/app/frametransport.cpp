// The frame's side of the transport: the player options turned into the transport's switches,
// and what the window shows of the transport's news (the moving position, the notes played, the
// tool windows following, the tempo). The commands are the TransportController's.

#include "app/mainframe.h"

#include "app/statusposition.h"
#include "document/reedtabdoc.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "ui/commands.h"
#include "view/reedtabview.h"

#include <QLabel>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace reedtab {

namespace {

QString percentText(int percent) {
    return QString::asprintf("%d%%", percent);
}
QString bpmText(int bpm) {
    return QString::asprintf("%4d bpm", bpm);
}
// The player options of the settings, as the transport takes them.
PlaybackOptions playbackOptions(const Settings& block) {
    PlaybackOptions options;
    options.metronome = block.playMetronome;
    options.countIn = block.playCountIn;
    options.loop = block.playLoop;
    options.clockOut = block.sendMidiSt;
    options.skipProgramChanges = block.skipPrgChange;
    options.expressionToVolume = block.changeExpr2Vol;
    options.editMode = block.editMode;
    return options;
}

} // namespace

void CMainFrame::playbackOptionsChanged() {
    transport_->setOptions(playbackOptions(settings()));
}

void CMainFrame::escapeKey() {
    const bool marked = doc_->markBegin >= 0 || doc_->markEnd >= 0;
    doc_->markBegin = -1;
    doc_->markEnd = -1;
    doc_->setTrackFlags(TrackSelected, {});
    if (marked) {
        doc_->notify({MarksChanged});
    }
}

void CMainFrame::showPosition(int tick) {
    if (tick < 0) {
        tick = transport_->playTick();
    }
    panes_[3]->setText(positionText(doc_->song, tick));
    const int division = doc_->song.division;
    if (division != 0) {
        view_->setScrollPosition(tick / division);
    }
}

int CMainFrame::sixteenth() const {
    return std::max(1, doc_->song.division / 4);
}

// ---- The transport's news ----

void CMainFrame::onPlayerPosition(const PositionReport& report) {
    const int division = std::max<int>(1, doc_->song.division);
    const int e = report.tick;
    const bool outside = e < view_->firstTick() || e > view_->lastTick() - 2 * division;
    if (report.jumpedBack || (report.tickMarker && e > view_->lastTick() - 2 * division) ||
        (!report.tickMarker && outside)) {
        // The page turns (or the loop went back): the paint shows every note as it stands.
        view_->repaintView();
    } else {
        redrawPassedEvents(report);
    }
    if (report.jumpedBack && transport_->training()) {
        showTempoPercent();
    }
    tools_->deliver(report);
    showPosition(e);
    if (e % sixteenth() == 0) {
        view_->redrawProgress(e);
    }
}

void CMainFrame::redrawPassedEvents(const PositionReport& report) {
    const MidiSong& song = doc_->song;
    const Settings& block = settings();
    for (int index = report.firstEvent; index < report.endEvent; ++index) {
        const MidiEvent& event = *song.mergedEvents[static_cast<size_t>(index)];
        const std::uint16_t flags = event.track ? event.track->flags.load() : 0;
        if ((flags & (TrackShown | TrackSelected)) == 0) {
            continue;
        }
        if (event.isNote) {
            view_->redrawNote(index,
                              (flags & TrackSelected) ? block.colorPlaySel : block.colorPlayed);
        } else if (block.showPitchBends && event.kind() == KindPitchWheel) {
            view_->redrawBend(index);
        }
    }
}

void CMainFrame::onPlayerTempo(int) {
    panes_[2]->setText(bpmText(transport_->beatsPerMinute()));
}

void CMainFrame::onNoteInput(const NoteInput& input) {
    const int key = static_cast<int>(input.data1());
    const int velocity = static_cast<int>(input.data2());
    const int channel = static_cast<int>(input.channel());
    switch (input.action()) {
    case 0:
        player_->noteOn(channel, key, velocity);
        QTimer::singleShot(50, this, [this, channel, key] { player_->noteOff(channel, key, 0); });
        break;
    case 2:
        player_->noteOn(channel, key, velocity);
        break;
    case 1:
        player_->noteOff(channel, key, 0);
        break;
    case 5:
        player_->programChange(channel, key);
        break;
    case 7:
        player_->pitchWheel(channel, key, velocity);
        break;
    default:
        break;
    }
    if (settings().editMode) {
        recordLiveNote(input);
    }
}

void CMainFrame::recordLiveNote(const NoteInput& input) {
    const int key = static_cast<int>(input.data1());
    const int velocity = static_cast<int>(input.data2());
    const int channel = static_cast<int>(input.channel());
    const auto action = input.action();
    if (transport_->isPlaying()) {
        // Recorded as played: each message at the song position it arrived at; the document
        // holds the player's refills around the insert.
        doc_->cursorTick = input.tick() == kNoteInputNow ? transport_->soundingTick()
                                                         : static_cast<int>(input.tick());
        doc_->addNoteFromEntry(key, velocity, channel, static_cast<int>(action));
        return;
    }
    if (action == NoteInputTestNote || action == NoteInputNoteOn) {
        doc_->addNoteFromEntry(key, velocity, channel, EntryWholeNote);
        followEditCursor();
    }
}

// While stopped in edit mode the play position is the edit cursor: the view shows it and Play
// starts there.
void CMainFrame::followEditCursor() {
    if (transport_->isPlaying()) {
        return;
    }
    transport_->seek(doc_->cursorTick);
    showPosition(doc_->cursorTick);
    view_->repaintView();
}

// ---- Tempo ----

void CMainFrame::tempoSliderMoved(int position, bool dragging, bool released) {
    if (dragging) {
        panes_[1]->setText(percentText(position));
        showTempoTip(position);
        return;
    }
    int p = position;
    if (released && p > 95 && p < 105) {
        p = kNormalTempo;
        const QSignalBlocker block(tempoSlider_);
        tempoSlider_->setValue(kNormalTempo);
    }
    panes_[1]->setText(percentText(p));
    panes_[2]->setText(bpmText(transport_->setTempoPercent(p)));
    showTempoTip(p);
    // The arrow and page keys go on scrolling the staff.
    view_->setFocus();
    updateCommandStates();
}

void CMainFrame::applyTempoChange() {
    doc_->applyTempoScaleEdit(transport_->tempoPercent());
    transport_->setTempoPercent(kNormalTempo);
    transport_->followSongTempo();
    showTempoPercent();
}

void CMainFrame::showTempoPercent() {
    const int percent = transport_->tempoPercent();
    {
        const QSignalBlocker block(tempoSlider_);
        tempoSlider_->setValue(percent);
    }
    panes_[1]->setText(percentText(percent));
    panes_[2]->setText(bpmText(transport_->beatsPerMinute()));
    showTempoTip(percent);
}

void CMainFrame::showTempoTip(int percent) {
    if (!tempoSlider_) {
        return;
    }
    const std::string_view prompt = toolbarPrompt(ID_TEMPO_SLIDER);
    const QString tip =
        QStringLiteral("%1: plays at %2% of the song's tempo (%3% to %4%; near 100% it snaps "
                       "to 100%)")
            .arg(QLatin1String(prompt.data(), static_cast<qsizetype>(prompt.size())))
            .arg(percent)
            .arg(tempoSlider_->minimum())
            .arg(tempoSlider_->maximum());
    tempoSlider_->setToolTip(tip);
    tempoSlider_->setStatusTip(tip);
    tempoSlider_->setWhatsThis(tip);
}

// The panes describe the song on screen from the moment it opens, not the one before it.
void CMainFrame::showSongPanes() {
    panes_[1]->setText(percentText(transport_->tempoPercent()));
    panes_[2]->setText(bpmText(transport_->beatsPerMinute()));
    showPosition(-1);
}

} // namespace reedtab

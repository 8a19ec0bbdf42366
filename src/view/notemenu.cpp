// The note menu of the right button: the note's track, its deletion and the other ways of
// playing it.

#include "view/reedtabview.h"

#include "document/reedtabdoc.h"
#include "harmonica/notation.h"
#include "model/midisong.h"

#include <QMenu>

#include <cstdio>
#include <vector>

namespace reedtab {

void CReedtabView::showNoteMenu(int x, int y, const QPoint& globalPosition) {
    const NoteHit hit = noteAt(x, y);
    if (hit.index < 0) {
        return;
    }
    if (std::unique_ptr<QMenu> menu = buildNoteMenu(hit.index, selectedNotes())) {
        menu->exec(globalPosition);
    }
}

std::unique_ptr<QMenu> CReedtabView::buildNoteMenu(int eventIndex,
                                                   const std::vector<MidiEvent*>& selectedNotes) {
    const MergedEventList& list = song().mergedEvents;
    if (eventIndex < 0 || eventIndex >= list.count() || !list[eventIndex]->isNote ||
        list[eventIndex]->track == nullptr) {
        return nullptr;
    }
    MidiEvent* note = list[eventIndex];
    MidiTrack* track = note->track;
    const int trackIndex = song().trackIndexOf(track);
    auto menu = std::make_unique<QMenu>(this);
    const auto add = [&menu](const QString& text, int id, auto handler) {
        QAction* action = menu->addAction(text);
        action->setData(id);
        connect(action, &QAction::triggered, menu.get(), handler);
        return action;
    };

    char heading[256];
    std::snprintf(heading, sizeof heading, "%s Trk:%02d %s",
                  painter_->notation().noteName(note->data1).c_str(), trackIndex,
                  track->name.c_str());
    // The tracks' state changes through the document, whose TracksChanged notice tells every
    // window (the mixer's list follows the selection).
    add(QString::fromStdString(heading), kNoteHeadingCommand, [this, track] {
        doc_.setTrackFlag(song().trackIndexOf(track), TrackSelected,
                          (track->flags.load() & TrackSelected) == 0);
        repaintView();
    });
    if (!playerRunning()) {
        menu->addSeparator();
        add(QStringLiteral("Track &Properties"), kTrackPropertiesCommand,
            [this, track] { emit trackPropertiesRequested(song().trackIndexOf(track)); });
        add(QStringLiteral("&Hide Track"), kHideTrackCommand, [this, track] {
            doc_.setTrackFlag(song().trackIndexOf(track), TrackShown | TrackSelected, false);
            repaintView();
        });
        add(QStringLiteral("Show this &Track only"), kShowTrackOnlyCommand, [this, track] {
            doc_.showTrackOnly(song().trackIndexOf(track));
            repaintView();
        });
        add(QStringLiteral("Show &all tracks"), kShowAllTracksCommand, [this] {
            doc_.showAllTracks();
            repaintView();
        });
        menu->addSeparator();
        add(QStringLiteral("Delete Trac&k"), kDeleteTrackCommand, [this, track] {
            if (!askYesNo_("Are you sure you want to delete the track", "Track Delete")) {
                return;
            }
            // The index is looked up again: the song may have changed while the question was open.
            if (doc_.deleteTrackEdit(song().trackIndexOf(track), true) == 0) {
                repaintView();
            }
        });
        add(QStringLiteral("&Delete Note"), kDeleteNoteCommand, [this, note] {
            doc_.deleteEventEdit(note);
            repaintView();
        });
        if (!selectedNotes.empty()) {
            add(QStringLiteral("Delete &Selected Notes"), kDeleteSelectedNotesCommand,
                [this, selectedNotes] {
                    // One step: Undo brings every note back.
                    doc_.deleteNotes(selectedNotes);
                    repaintView();
                });
        }
    }
    // The other ways of playing the note; choosing one makes the note use it everywhere.
    const Notation& notation = painter_->notation();
    const int chosen = notation.alternativeOf(note->data1, note->fingering);
    NoteText alternative;
    for (int k = 1; notation.notate(note->data1, k, true, alternative) == 0; ++k) {
        if (k == 1) {
            menu->addSeparator();
            add(QStringLiteral("Alternates:"), 0, [] {});
        }
        QAction* choose = add(QStringLiteral("    %1%2")
                                  .arg(QString::fromStdString(alternative.prefix),
                                       QString::fromStdString(alternative.text)),
                              kNoteAlternateCommand + k,
                              [this, note, value = notation.fingeringFor(note->data1, k)] {
                                  if (doc_.chooseFingering(note, value) == 0) {
                                      repaintView();
                                  }
                              });
        choose->setCheckable(true);
        choose->setChecked(k == chosen);
    }
    if (chosen > 0 && notation.notate(note->data1, 0, true, alternative) == 0) {
        add(QStringLiteral("    Use preferred %1%2")
                .arg(QString::fromStdString(alternative.prefix),
                     QString::fromStdString(alternative.text)),
            kNoteAlternateCommand, [this, note] {
                if (doc_.chooseFingering(note, 0) == 0) {
                    repaintView();
                }
            });
    }
    return menu;
}

} // namespace reedtab

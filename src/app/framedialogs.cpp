// The frame's dialogs: track and file properties and map notes edit the song through the
// document, whose notices bring the view, the bar table and the tool windows up to date; the
// harp finder sets the layouts everywhere at once (staff, harmonica windows, the layouts the
// settings keep at exit) and keeps the player's harps, the speed trainer starts playing.

#include "app/mainframe.h"

#include "dialogs/fileproperties.h"
#include "dialogs/harpfinderdlg.h"
#include "dialogs/mapnotesdlg.h"
#include "dialogs/trackpropdlg.h"
#include "document/reedtabdoc.h"
#include "harmonica/notation.h"
#include "model/midisong.h"
#include "settings/settings.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "view/reedtabview.h"

#include <QComboBox>

namespace reedtab {

void CMainFrame::trackPropertiesCommand(int track) {
    if (!doc_->song.track(track)) {
        return;
    }
    CTrackPropDlg dialog(*doc_, *this, track, this);
    dialog.exec();
}

void CMainFrame::filePropertiesCommand() {
    if (doc_->song.trackCount() == 0 || transport_->isPlaying()) {
        return;
    }
    CFileProperties dialog(*doc_, *this, this);
    dialog.exec();
    // Whether kept or called off, the tempo changes may have moved the tempo in force.
    transport_->followSongTempo();
    showSongPanes();
}

void CMainFrame::mapNotesCommand() {
    if (doc_->song.trackCount() == 0 || transport_->isPlaying()) {
        return;
    }
    CMapNotesDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    doc_->mapNotes(dialog.channel(), dialog.fromNote(), dialog.toNote(), dialog.volumeFromPercent(),
                   dialog.volumeToPercent());
}

void CMainFrame::whichHarpCommand() {
    if (doc_->song.trackCount() == 0 || transport_->isPlaying()) {
        return;
    }
    CHarpFinderDlg dialog(doc_->song, doc_->markBegin, doc_->markEnd, settings().myHarps, this);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // The player's harps are kept even when no harp is chosen this time.
    if (dialog.myHarps() != settings().myHarps) {
        settings().myHarps = dialog.myHarps();
        saveSettings(store_, kSaveHarps);
    }
    if (!accepted || !dialog.chosen()) {
        return;
    }
    const HarpCandidate& harp = *dialog.chosen();
    if (harp.chromatic) {
        chromatic_.build(harp.key, harp.tuningIndex);
    } else {
        diatonic_.build(harp.key, harp.tuningIndex);
    }
    const int mode = harp.chromatic ? kChromaticTab : kDiatonicTab;
    settings().tabMode = mode;
    if (tabType_) {
        const QSignalBlocker block(tabType_);
        tabType_->setCurrentIndex(mode);
    }
    tools_->followLayouts();
    view_->refreshNoteFlags();
    view_->repaintView();
    refreshLayoutText();
}

} // namespace reedtab

// The frame's property dialogs: track and file properties and map notes. Each edits the song
// through the document; the document's notices bring the view, the bar table and the tool
// windows up to date.

#include "app/mainframe.h"

#include "dialogs/fileproperties.h"
#include "dialogs/mapnotesdlg.h"
#include "dialogs/trackpropdlg.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"

namespace reedtab {

void CMainFrame::trackPropertiesCommand(int track) {
    if (!doc_->song.track(track)) {
        return;
    }
    CTrackPropDlg dialog(*doc_, *this, track, this);
    dialog.exec();
}

void CMainFrame::filePropertiesCommand() {
    if (doc_->song.trackCount() == 0 || player_->isPlaying()) {
        return;
    }
    CFileProperties dialog(*doc_, *this, this);
    dialog.exec();
    // Whether kept or called off, the tempo changes may have moved the tempo in force.
    player_->setBaseTempo(doc_->song.tempoAt(player_->playTick()));
    showSongPanes();
}

void CMainFrame::mapNotesCommand() {
    if (doc_->song.trackCount() == 0 || player_->isPlaying()) {
        return;
    }
    CMapNotesDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    doc_->mapNotes(dialog.channel(), dialog.fromNote(), dialog.toNote(), dialog.volumeFromPercent(),
                   dialog.volumeToPercent());
}

} // namespace reedtab

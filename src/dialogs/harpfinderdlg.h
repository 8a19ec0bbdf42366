#pragma once

#include "harmonica/harpfinder.h"

#include <QDialog>

#include <cstdint>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace reedtab {

/// "Which Harp?": the harmonicas ranked for one track of the song over a range, with filters,
/// the melody track first. "Only my harps" keeps the harps the player owns, which "My
/// Harps..." edits. The caller applies the chosen candidate and keeps the player's harps.
class CHarpFinderDlg : public QDialog {
    Q_OBJECT
public:
    /// `from` and `to` bound the range (-1: the song's start or end); `myHarps` are the harps
    /// the player owns (the filter is on from the start when there are any).
    CHarpFinderDlg(const MidiSong& song, int32_t from, int32_t to,
                   std::vector<OwnedHarp> myHarps = {}, QWidget* parent = nullptr);

    const FinderResult& result() const { return result_; }
    /// The candidate of the current row, or nullptr when no row is chosen.
    const HarpCandidate* chosen() const;
    /// The player's harps, as "My Harps..." left them.
    const std::vector<OwnedHarp>& myHarps() const { return myHarps_; }

    QComboBox* trackList() const { return tracks_; }
    QCheckBox* diatonicBox() const { return diatonic_; }
    QCheckBox* chromaticBox() const { return chromatic_; }
    QCheckBox* noBendsBox() const { return noBends_; }
    QCheckBox* noOversBox() const { return noOvers_; }
    QCheckBox* myHarpsBox() const { return onlyMine_; }
    QPushButton* myHarpsButton() const { return editMine_; }
    QLabel* keyLabel() const { return key_; }
    QTableWidget* table() const { return table_; }
    QPushButton* okButton() const { return ok_; }

private:
    void refresh();
    void editMyHarps();

    const MidiSong& song_;
    FinderRange range_;
    FinderResult result_;
    QComboBox* tracks_ = nullptr;
    QCheckBox* diatonic_ = nullptr;
    QCheckBox* chromatic_ = nullptr;
    QCheckBox* noBends_ = nullptr;
    QCheckBox* noOvers_ = nullptr;
    std::vector<OwnedHarp> myHarps_;
    QCheckBox* onlyMine_ = nullptr;
    QPushButton* editMine_ = nullptr;
    QLabel* key_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace reedtab

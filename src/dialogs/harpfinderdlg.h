#pragma once

#include "harmonica/harpfinder.h"

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace reedtab {

/// "Which Harp?": the harmonicas ranked for one track of the song over a range, with filters.
/// The caller applies the chosen candidate.
class CHarpFinderDlg : public QDialog {
    Q_OBJECT
public:
    /// `from` and `to` bound the range (-1: the song's start or end).
    CHarpFinderDlg(const MidiSong& song, int32_t from, int32_t to, QWidget* parent = nullptr);

    const FinderResult& result() const { return result_; }
    /// The candidate of the current row, or nullptr when no row is chosen.
    const HarpCandidate* chosen() const;

    QComboBox* trackList() const { return tracks_; }
    QCheckBox* diatonicBox() const { return diatonic_; }
    QCheckBox* chromaticBox() const { return chromatic_; }
    QCheckBox* noBendsBox() const { return noBends_; }
    QCheckBox* noOversBox() const { return noOvers_; }
    QLabel* keyLabel() const { return key_; }
    QTableWidget* table() const { return table_; }
    QPushButton* okButton() const { return ok_; }

private:
    void refresh();

    const MidiSong& song_;
    FinderRange range_;
    FinderResult result_;
    QComboBox* tracks_ = nullptr;
    QCheckBox* diatonic_ = nullptr;
    QCheckBox* chromatic_ = nullptr;
    QCheckBox* noBends_ = nullptr;
    QCheckBox* noOvers_ = nullptr;
    QLabel* key_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace reedtab

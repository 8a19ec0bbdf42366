#pragma once

// The dialogs of the shareable tablature: "Export Tablature Text" (which track, how it is
// spelled, with a preview of the text) and "Optimize Fingerings" (which track, what to avoid).

#include "formats/tabtext.h"
#include "harmonica/fingeringoptimizer.h"

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QSpinBox;

namespace reedtab {

class HarmonicaLayout;
class MidiSong;

/// "Export Tablature Text": the options of the text, and the text itself as it will be saved.
class CTabTextExportDlg : public QDialog {
    Q_OBJECT
public:
    /// `from` and `to` bound the notes written (-1: the song's start or end).
    CTabTextExportDlg(const MidiSong& song, const HarmonicaLayout& layout, int32_t from, int32_t to,
                      QWidget* parent = nullptr);

    /// The chosen track (the melody track at first).
    int track() const;
    TabTextOptions options() const;
    /// The text as the options give it.
    std::string text() const;

    QComboBox* trackList() const { return tracks_; }
    QComboBox* styleList() const { return styles_; }
    QSpinBox* barsField() const { return bars_; }
    QCheckBox* lyricsBox() const { return lyrics_; }
    QPlainTextEdit* preview() const { return preview_; }

private:
    void refresh();

    const MidiSong& song_;
    const HarmonicaLayout& layout_;
    int32_t from_;
    int32_t to_;
    QComboBox* tracks_ = nullptr;
    QComboBox* styles_ = nullptr;
    QSpinBox* bars_ = nullptr;
    QCheckBox* lyrics_ = nullptr;
    QPlainTextEdit* preview_ = nullptr;
};

/// "Optimize Fingerings": the track whose phrase gets its fingerings, and the techniques to
/// avoid. The caller makes the edit.
class COptimizeFingeringsDlg : public QDialog {
    Q_OBJECT
public:
    /// `marked`: the marks bound the notes (the dialog says so).
    COptimizeFingeringsDlg(const MidiSong& song, const HarmonicaLayout& layout, bool marked,
                           QWidget* parent = nullptr);

    /// The chosen track (the melody track at first).
    int track() const;
    FingeringOptions options() const;

    QComboBox* trackList() const { return tracks_; }
    QCheckBox* avoidBendsBox() const { return avoidBends_; }
    QCheckBox* avoidOverblowsBox() const { return avoidOverblows_; }

private:
    QComboBox* tracks_ = nullptr;
    QCheckBox* avoidBends_ = nullptr;
    QCheckBox* avoidOverblows_ = nullptr;
};

} // namespace reedtab

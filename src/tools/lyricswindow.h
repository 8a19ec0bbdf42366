#pragma once

// The lyrics window: the lyric and text events of one track as running text, the syllable just
// reached marked while the song plays, and the text saved to a file. Each event that produced
// text keeps its place in the text in its `lyricScratch` (end * 65536 + start), so that marking
// a syllable costs no search.

#include "tools/monitor.h"

class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace reedtab {

class MidiEvent;

class CMonLyrics : public CMonitor {
    Q_OBJECT
public:
    static constexpr int kTextLimit = 512000;

    CMonLyrics(const ToolContext& context, QWidget* owner);
    ~CMonLyrics() override;

    int monitorIndex() const override { return kMonitorLyrics; }
    void refresh(int flag) override;
    void onTextEvent(int eventIndex) override;

    /// The lyrics font and colours of the settings, after the options changed them.
    void applyLyricsSettings();
    /// Writes every line of the text followed by a line feed, then a blank line and the
    /// product's web address. False when the file could not be created.
    bool saveText(const QString& path) const;

    /// The track shown, -1 when the song has no lyric or text events.
    int lyricsTrack() const { return lyricsTrack_; }
    QPlainTextEdit* textBox() const { return text_; }
    QComboBox* trackList() const { return tracks_; }
    /// The text `event` adds to the lyrics and whether it gets a place of its own (an event
    /// that is only a line break gets none).
    static QString pieceOf(const MidiEvent& event, bool& placed);

protected:
    int onCreateContent() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fillTrackList();
    void fillText();
    void saveCommand();

    QPlainTextEdit* text_ = nullptr;
    QComboBox* tracks_ = nullptr;
    QPushButton* save_ = nullptr;
    int lyricsTrack_ = -1;
};

} // namespace reedtab

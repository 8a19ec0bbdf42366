#pragma once

// The Listen window: the program listens to the player (a capture device, or a recording in its
// place) while the song plays, judges every expected note of the chosen track and shows the
// heard hole with its bend, the expected hole, the running score and the accuracy of every pass
// of the song. The judged track is muted while it listens (through the document's track state)
// and given back after; playing at tempo or waiting for each note.
//
// Threads: the user-interface thread; the analysis runs on a thread of its own
// (`ListenAnalysis`) and hands its frames over by a queued signal.

#include "listen/judge.h"
#include "playback/clock.h"
#include "tools/monitor.h"

#include <QThread>

#include <memory>
#include <optional>
#include <thread>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace reedtab {

class ListenAnalysis;
class ListenDisplay;
class ListenSession;
struct ListenShown;
struct PositionReport;

class CMonListen : public CMonitor {
    Q_OBJECT
public:
    CMonListen(const ToolContext& context, QWidget* owner);
    ~CMonListen() override;

    int monitorIndex() const override { return kMonitorListen; }
    /// Flag 1 (the song or its tracks changed): the track list and the chart are made anew; a
    /// new song stops listening.
    void refresh(int flag) override;

    /// Mutes the chosen track, starts the analysis of the chosen input and plays the song from
    /// the begin mark (or its start); false, saying why in the window, when it cannot.
    bool startListening();
    /// Stops playing and listening and gives the track its sound back.
    void stopListening();
    bool listening() const { return session_ != nullptr; }

    /// Judges the recording at `path` (which starts with the song) against the chosen track
    /// and shows the pass as it stood when the song reached `tick`: the staff's marks, the
    /// heard note, the score. False when the recording cannot be read.
    bool showRecording(const QString& path, int tick);

    /// The notes of the current pass judged so far, and the track they belong to (-1: none).
    const std::vector<JudgedNote>& passNotes() const { return passNotes_; }
    int judgedTrack() const { return judgedTrack_; }
    /// The note heard now, -1 in silence.
    int heardNote() const { return heardNote_; }
    /// Where passes are kept (the user's score file unless a test sets another).
    void setScorePath(const std::string& path) { scorePath_ = path; }
    const ListenDisplay* display() const { return display_; }
    QComboBox* inputList() const { return inputs_; }
    QComboBox* trackList() const { return tracks_; }
    QSpinBox* toleranceBox() const { return tolerance_; }
    QCheckBox* waitBox() const { return wait_; }

signals:
    /// The judged notes of the current pass changed (the staff marks them).
    void judgedChanged();
    /// The heard note changed (-1: silence); the harmonica windows light its hole.
    void heardChanged(int note);

protected:
    int onCreateContent() override;
    void onDestroyContent() override;

private:
    class SessionNews;

    double nowMs() const { return clock_.now().count() / 1e6; }
    void fillInputList();
    void fillTrackList();
    void loadHistory();
    void framesHeard(const std::vector<PitchFrame>& frames);
    void showHeard(const std::optional<PitchFrame>& frame);
    void showExpected();
    void showScore();
    void noteJudged(const JudgedNote& note);
    void passEnded(const PassScore& score, bool complete);
    void analysisStarted(double analysisDelayMs);
    void analysisFailed(const QString& why);
    void checkStillPlaying();
    void finishListening();
    void calibrate();
    void setStatus(const QString& text);
    void chooseRecording();
    int chosenTrack() const;
    std::string chosenInput() const;
    void updateButtons();

    SteadyClock clock_;
    QThread thread_;
    ListenAnalysis* analysis_ = nullptr;
    std::unique_ptr<SessionNews> news_;
    std::unique_ptr<ListenSession> session_;
    std::unique_ptr<ListenShown> shown_;
    std::string scorePath_;
    // The song the window shows: its path and the hash of its notes.
    std::string shownSong_;
    std::vector<JudgedNote> passNotes_;
    int judgedTrack_ = -1;
    int heardNote_ = -1;
    double lastPitchMs_ = 0.0;
    // The judged track's mute flag before listening, given back after.
    bool trackWasMuted_ = false;
    std::thread calibration_;

    QComboBox* inputs_ = nullptr;
    QComboBox* tracks_ = nullptr;
    QSpinBox* tolerance_ = nullptr;
    QCheckBox* wait_ = nullptr;
    QPushButton* calibrate_ = nullptr;
    QPushButton* listen_ = nullptr;
    QLabel* hint_ = nullptr;
    ListenDisplay* display_ = nullptr;
    QTimer* watch_ = nullptr;
};

} // namespace reedtab

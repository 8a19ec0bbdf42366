#pragma once

// The analysis behind the Listen window, on a thread of its own: a capture device's blocks, or a
// recording played in its place in real time, turned into pitch frames timed on the window's
// clock and handed to the window by a queued signal.
//
// Threads: made on the user-interface thread and moved to the analysis thread; its slots run
// there, and `heard`, `started` and `failed` reach the window queued.

#include "listen/pitchtracker.h"
#include "playback/clock.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QTimer;

namespace reedtab {

class AudioInput;
class PitchListener;

/// The frames of the whole recording at `path` (ms from its start) at concert pitch `a4`, and
/// how late the tracker names a note; false with the reason in `why`.
bool analyseRecording(const QString& path, double a4, std::vector<PitchFrame>& frames,
                      double& analysisDelayMs, QString& why);

class ListenAnalysis : public QObject {
    Q_OBJECT
public:
    /// `clock` times the frames; it must outlive the analysis.
    explicit ListenAnalysis(const Clock& clock);
    ~ListenAnalysis() override;

    /// Registers the frames' type for queued signals; once, before the first connection.
    static void registerTypes();

public slots:
    /// Listens to capture device `device` (a name of `captureDeviceNames`, "" the default) at
    /// 48 kHz, else 44.1 kHz, concert pitch `a4`.
    void startDevice(const QString& device, double a4);
    /// Plays the recording at `path` as if it were captured from now on.
    void startFile(const QString& path, double a4);
    void stop();

signals:
    /// Listening began; the tracker names a note this long after it starts.
    void started(double analysisDelayMs);
    void failed(const QString& why);
    /// Frames in time order, `ms` on the clock.
    void heard(const std::vector<reedtab::PitchFrame>& frames);

private:
    void startPolling();
    void poll();

    const Clock& clock_;
    QTimer* timer_ = nullptr;
    std::unique_ptr<AudioInput> input_;
    std::unique_ptr<PitchListener> listener_;
    // A recording: its frames, timed from its start, released as the clock passes them.
    std::vector<PitchFrame> recording_;
    std::size_t next_ = 0;
    double startMs_ = 0.0;
    std::vector<PitchFrame> frames_;
};

} // namespace reedtab

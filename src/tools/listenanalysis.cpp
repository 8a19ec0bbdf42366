#include "tools/listenanalysis.h"

#include "listen/audioinput.h"
#include "listen/pitchlistener.h"

#include <QMetaType>
#include <QTimer>

namespace reedtab {

namespace {

// The analysis keeps up with a capture of a few blocks at a time.
constexpr int kPollMs = 5;

double nowMs(const Clock& clock) {
    return clock.now().count() / 1e6;
}

// What the window says when the capture device does not open; "" is the system's default input,
// which a machine without a microphone does not have.
QString failureText(int opened, const QString& device, const std::string& error) {
    if (opened == ListenNoLibrary) {
        return QStringLiteral("The audio library cannot be loaded.");
    }
    if (opened == ListenNoDevice) {
        return device.isEmpty() ? QStringLiteral("No microphone was found: connect one, or choose "
                                                 "\"Recording...\" to judge a recording.")
                                : QStringLiteral("No capture device \"%1\".").arg(device);
    }
    return QStringLiteral("The capture device did not open: %1").arg(QString::fromStdString(error));
}

} // namespace

bool analyseRecording(const QString& path, double a4, std::vector<PitchFrame>& frames,
                      double& analysisDelayMs, QString& why) {
    std::vector<float> samples;
    int rate = 0;
    std::string error;
    if (readAudioFile(path.toStdString(), samples, rate, &error) != ListenOk) {
        why = QStringLiteral("Cannot read %1: %2").arg(path, QString::fromStdString(error));
        return false;
    }
    PitchOptions options;
    options.a4 = a4;
    PitchTracker tracker(rate, options);
    if (tracker.status() != ListenOk) {
        why = QStringLiteral("The recording cannot be analysed.");
        return false;
    }
    frames.clear();
    tracker.process(samples.data(), samples.size(), frames);
    analysisDelayMs = tracker.onsetDelayMs();
    return true;
}

ListenAnalysis::ListenAnalysis(const Clock& clock) : clock_(clock) {}

ListenAnalysis::~ListenAnalysis() {
    stop();
}

void ListenAnalysis::registerTypes() {
    qRegisterMetaType<std::vector<reedtab::PitchFrame>>("std::vector<reedtab::PitchFrame>");
}

void ListenAnalysis::startDevice(const QString& device, double a4) {
    stop();
    auto input = std::make_unique<AudioInput>(clock_);
    const std::string name = device.toStdString();
    int opened = input->open(name, 48000);
    if (opened == ListenDeviceError) {
        opened = input->open(name, 44100);
    }
    if (opened != ListenOk) {
        emit failed(failureText(opened, device, input->errorText()));
        return;
    }
    PitchOptions options;
    options.a4 = a4;
    listener_ = std::make_unique<PitchListener>(input->rate(), options);
    if (listener_->status() != ListenOk || input->start() != ListenOk) {
        listener_.reset();
        emit failed(QStringLiteral("Listening did not start."));
        return;
    }
    input_ = std::move(input);
    emit started(listener_->tracker().onsetDelayMs());
    startPolling();
}

void ListenAnalysis::startFile(const QString& path, double a4) {
    stop();
    double delay = 0.0;
    QString why;
    if (!analyseRecording(path, a4, recording_, delay, why)) {
        emit failed(why);
        return;
    }
    next_ = 0;
    startMs_ = nowMs(clock_);
    emit started(delay);
    startPolling();
}

void ListenAnalysis::stop() {
    if (timer_) {
        timer_->stop();
    }
    if (input_) {
        input_->close();
        input_.reset();
    }
    listener_.reset();
    recording_.clear();
    next_ = 0;
}

void ListenAnalysis::startPolling() {
    if (!timer_) {
        timer_ = new QTimer(this);
        connect(timer_, &QTimer::timeout, this, [this] { poll(); });
    }
    timer_->start(kPollMs);
}

void ListenAnalysis::poll() {
    frames_.clear();
    if (input_ && listener_) {
        listener_->poll(*input_, frames_);
    } else {
        const double elapsed = nowMs(clock_) - startMs_;
        while (next_ < recording_.size() && recording_[next_].ms <= elapsed) {
            PitchFrame frame = recording_[next_++];
            frame.ms += startMs_;
            frames_.push_back(frame);
        }
    }
    if (!frames_.empty()) {
        emit heard(frames_);
    }
}

} // namespace reedtab

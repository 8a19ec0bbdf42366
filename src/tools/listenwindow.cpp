#include "tools/listenwindow.h"

#include "document/reedtabdoc.h"
#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "listen/audioinput.h"
#include "listen/heardname.h"
#include "listen/latency.h"
#include "listen/scorestore.h"
#include "model/miditrack.h"
#include "practice/listensession.h"
#include "settings/settings.h"
#include "tools/listenanalysis.h"
#include "tools/listendisplay.h"
#include "ui/transporthub.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <ctime>

namespace reedtab {

namespace {

const QString kHint = QStringLiteral("Headphones help: the judged track is silent while you play.");
// An input item's data: a device name, or this prefix and a recording's path.
const QString kRecordingPrefix = QStringLiteral("file:");
// Without a confident pitch this long, the heard note is gone.
constexpr double kSilenceMs = 250.0;

// The playback device the calibration pairs with `input`: the first of the same sound system.
std::string calibrationOutput(const std::string& input) {
    const std::string system = input.substr(0, input.find(':') + 1);
    for (const std::string& name : playbackDeviceNames()) {
        if (system.empty() || name.rfind(system, 0) == 0) {
            return name;
        }
    }
    return {};
}

HeardNamer namer() {
    return HeardNamer(settings(), diatonicLayout(), chromaticLayout());
}

} // namespace

// The session's news, handed to the window.
class CMonListen::SessionNews final : public ListenSessionListener {
public:
    explicit SessionNews(CMonListen& window) : window_(window) {}
    void noteJudged(int pass, const JudgedNote& note) override {
        if (pass != pass_) {
            pass_ = pass;
            window_.passNotes_.clear();
        }
        window_.shown_->pass = pass;
        window_.noteJudged(note);
    }
    void passEnded(int, const PassScore& score, bool complete) override {
        window_.passEnded(score, complete);
    }
    void waitingFor(const std::optional<ExpectedNote>&) override { window_.showExpected(); }

private:
    CMonListen& window_;
    int pass_ = -1;
};

CMonListen::CMonListen(const ToolContext& context, QWidget* owner)
    : CMonitor(context, owner), news_(std::make_unique<SessionNews>(*this)),
      shown_(std::make_unique<ListenShown>()), scorePath_(defaultScorePath()) {}

CMonListen::~CMonListen() {
    if (calibration_.joinable()) {
        calibration_.join();
    }
    onDestroyContent();
}

int CMonListen::onCreateContent() {
    setWindowTitle(QStringLiteral("Reedtab Midi Listen"));
    const QFont font = QApplication::font();
    inputs_ = makeToolList(this, QRect(4, 4, 170, 200), font, QStringLiteral("What to listen to"));
    tracks_ =
        makeToolList(this, QRect(178, 4, 140, 200), font, QStringLiteral("The track you play"));
    tolerance_ = new QSpinBox(this);
    tolerance_->setGeometry(322, 4, 64, 22);
    tolerance_->setRange(static_cast<int>(kToleranceLow), static_cast<int>(kToleranceHigh));
    tolerance_->setPrefix(QStringLiteral("\u00b1"));
    tolerance_->setSuffix(QStringLiteral(" \u00a2"));
    tolerance_->setToolTip(QStringLiteral("Tolerance: a note this close in cents is a hit"));
    tolerance_->setValue(settings().listenTolerance);
    wait_ = new QCheckBox(QStringLiteral("Wait"), this);
    wait_->setGeometry(392, 4, 56, 22);
    wait_->setToolTip(QStringLiteral("Wait at each note until you play it"));
    wait_->setChecked(settings().listenWait);
    calibrate_ = new QPushButton(QStringLiteral("Calibrate"), this);
    calibrate_->setGeometry(450, 4, 74, 22);
    calibrate_->setToolTip(
        QStringLiteral("Measure the delay of your sound system with clicks it plays and hears"));
    listen_ = new QPushButton(QStringLiteral("Listen"), this);
    listen_->setGeometry(528, 4, 68, 22);
    hint_ = new QLabel(kHint, this);
    hint_->setGeometry(6, 28, 590, 18);
    display_ = new ListenDisplay(this);
    display_->setGeometry(0, 48, 600, 312);
    watch_ = new QTimer(this);

    connect(inputs_, &QComboBox::activated, this, [this](int item) {
        if (inputs_->itemData(item).toString() == kRecordingPrefix) {
            chooseRecording();
        } else {
            settings().listenInput = chosenInput();
            saveSettings(context_.store, kSaveListen);
        }
    });
    connect(tolerance_, &QSpinBox::valueChanged, this, [this](int value) {
        settings().listenTolerance = value;
        saveSettings(context_.store, kSaveListen);
    });
    connect(wait_, &QCheckBox::toggled, this, [this](bool on) {
        settings().listenWait = on;
        saveSettings(context_.store, kSaveListen);
    });
    connect(calibrate_, &QPushButton::clicked, this, [this] { calibrate(); });
    connect(listen_, &QPushButton::clicked, this, [this] {
        if (listening()) {
            stopListening();
        } else {
            startListening();
        }
    });
    connect(watch_, &QTimer::timeout, this, [this] { checkStillPlaying(); });

    TransportHub& hub = context_.hub;
    connect(&hub, &TransportHub::positionReached, this, [this](const PositionReport& report) {
        if (session_) {
            session_->positionReached(report, nowMs());
            showExpected();
        }
    });
    connect(&hub, &TransportHub::held, this, [this](std::int32_t tick) {
        if (session_) {
            session_->held(tick, nowMs());
            showExpected();
        }
    });
    connect(&hub, &TransportHub::stopped, this, [this](int) {
        if (session_) {
            session_->songEnded(nowMs());
        }
    });
    connect(&hub, &TransportHub::noteInput, this, [this](const NoteInput& input) {
        if (session_ && input.action() == NoteInputNoteOn && input.data2() > 0) {
            session_->noteInput(static_cast<int>(input.data1()), nowMs());
        }
    });

    ListenAnalysis::registerTypes();
    analysis_ = new ListenAnalysis(clock_);
    analysis_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, analysis_, &QObject::deleteLater);
    connect(analysis_, &ListenAnalysis::heard, this,
            [this](const std::vector<PitchFrame>& frames) { framesHeard(frames); });
    connect(analysis_, &ListenAnalysis::started, this,
            [this](double delay) { analysisStarted(delay); });
    connect(analysis_, &ListenAnalysis::failed, this,
            [this](const QString& why) { analysisFailed(why); });
    thread_.start();

    fillInputList();
    restorePlacement(600, 360, true);
    refresh(1);
    return 0;
}

void CMonListen::onDestroyContent() {
    if (!analysis_) {
        return;
    }
    stopListening();
    QMetaObject::invokeMethod(analysis_, &ListenAnalysis::stop, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    analysis_ = nullptr;
}

void CMonListen::refresh(int flag) {
    if (!flag || !tracks_ || context_.doc.song.loading) {
        return;
    }
    // The judged track's mute and other track changes keep the pass shown; another song or
    // edited notes do not.
    const std::string song =
        scoreSongPath(context_.doc.pathName()) + '\n' + notesHash(context_.doc.song);
    if (listening() || song == shownSong_) {
        return;
    }
    shownSong_ = song;
    fillTrackList();
    passNotes_.clear();
    judgedTrack_ = -1;
    *shown_ = ListenShown{};
    loadHistory();
    showExpected();
    emit judgedChanged();
}

void CMonListen::fillInputList() {
    inputs_->clear();
    inputs_->addItem(QStringLiteral("Default input"), QString());
    for (const std::string& name : captureDeviceNames()) {
        inputs_->addItem(QString::fromStdString(name), QString::fromStdString(name));
    }
    inputs_->addItem(QStringLiteral("Recording..."), kRecordingPrefix);
    const int stored = inputs_->findData(QString::fromStdString(settings().listenInput));
    inputs_->setCurrentIndex(std::max(stored, 0));
}

void CMonListen::chooseRecording() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Listen to a recording"), QString(),
        QStringLiteral("Recordings (*.wav *.flac *.ogg);;All Files (*)"));
    if (path.isEmpty()) {
        inputs_->setCurrentIndex(0);
        return;
    }
    inputs_->insertItem(inputs_->count() - 1, QFileInfo(path).fileName(), kRecordingPrefix + path);
    inputs_->setCurrentIndex(inputs_->count() - 2);
}

void CMonListen::fillTrackList() {
    const int chosen = chosenTrack();
    tracks_->clear();
    tracks_->addItem(QStringLiteral("Melody track"), -1);
    const MidiSong& song = context_.doc.song;
    for (int i = 0; i < song.trackCount(); ++i) {
        ListenRange range;
        range.track = i;
        if (expectedNotes(song, range).notes.empty()) {
            continue;
        }
        const std::string& name = song.track(i)->name;
        tracks_->addItem(QStringLiteral("Track %1%2")
                             .arg(i)
                             .arg(name.empty()
                                      ? QString()
                                      : QStringLiteral(": ") + QString::fromStdString(name)),
                         i);
    }
    tracks_->setCurrentIndex(std::max(tracks_->findData(chosen), 0));
}

int CMonListen::chosenTrack() const {
    return tracks_ && tracks_->currentIndex() >= 0 ? tracks_->currentData().toInt() : -1;
}

std::string CMonListen::chosenInput() const {
    return inputs_ ? inputs_->currentData().toString().toStdString() : std::string();
}

void CMonListen::loadHistory() {
    const MidiSong& song = context_.doc.song;
    ScoreStore store(scorePath_);
    shown_->history.clear();
    for (const PassRecord& pass :
         store.passesOf(scoreSongPath(context_.doc.pathName()), notesHash(song))) {
        shown_->history.push_back(pass.score.accuracy);
    }
    if (const std::string damage = store.takeDamageReport(); !damage.empty()) {
        setStatus(QString::fromStdString(damage));
    }
    display_->show(*shown_);
}

void CMonListen::setStatus(const QString& text) {
    hint_->setText(text.isEmpty() ? kHint : text);
}

void CMonListen::updateButtons() {
    const bool on = listening();
    listen_->setText(on ? QStringLiteral("Stop") : QStringLiteral("Listen"));
    for (QWidget* control : {static_cast<QWidget*>(inputs_), static_cast<QWidget*>(tracks_),
                             static_cast<QWidget*>(tolerance_), static_cast<QWidget*>(wait_),
                             static_cast<QWidget*>(calibrate_)}) {
        control->setEnabled(!on);
    }
    calibrate_->setEnabled(!on && !calibration_.joinable());
}

// ---- Listening ----

bool CMonListen::startListening() {
    if (listening()) {
        return true;
    }
    MidiSong& song = context_.doc.song;
    ListenSessionOptions options;
    options.range.track = chosenTrack();
    options.judge.toleranceCents = tolerance_->value();
    options.wait = wait_->isChecked();
    const QString input = inputs_->currentData().toString();
    const bool recording = input.startsWith(kRecordingPrefix);
    double latency = settings().listenOffsetMs;
    if (!recording) {
        const std::string name = input.toStdString();
        latency += storedRoundTrip(context_.store, name, calibrationOutput(name)).value_or(0.0);
    }
    options.judge.latencyMs = latency;
    session_ = std::make_unique<ListenSession>(context_.hub.transport(), song, options);
    if (session_->track() < 0 || session_->expected().empty()) {
        session_.reset();
        setStatus(QStringLiteral("The song has no notes to play along with."));
        return false;
    }
    session_->setListener(news_.get());
    judgedTrack_ = session_->track();
    passNotes_.clear();
    *shown_ = ListenShown{};
    loadHistory();
    emit judgedChanged();
    trackWasMuted_ = (song.track(judgedTrack_)->flags & TrackMuted) != 0;
    if (!trackWasMuted_) {
        context_.doc.setTrackFlag(judgedTrack_, TrackMuted, true);
    }
    setStatus(QStringLiteral("Starting..."));
    const double a4 = settings().concertPitch;
    if (recording) {
        const QString path = input.mid(kRecordingPrefix.size());
        QMetaObject::invokeMethod(analysis_, [this, path, a4] { analysis_->startFile(path, a4); });
    } else {
        QMetaObject::invokeMethod(analysis_,
                                  [this, input, a4] { analysis_->startDevice(input, a4); });
    }
    updateButtons();
    return true;
}

void CMonListen::analysisStarted(double analysisDelayMs) {
    if (!session_ || session_->active()) {
        return;
    }
    // The session was made before the tracker was: it takes the tracker's delay now.
    ListenSessionOptions options = session_->options();
    options.judge.analysisDelayMs = analysisDelayMs;
    session_ =
        std::make_unique<ListenSession>(context_.hub.transport(), context_.doc.song, options);
    session_->setListener(news_.get());
    if (session_->start() != PlayerOk) {
        analysisFailed(QStringLiteral("The song cannot be played."));
        return;
    }
    setStatus(QString());
    showExpected();
    watch_->start(100);
}

void CMonListen::analysisFailed(const QString& why) {
    finishListening();
    setStatus(why);
}

void CMonListen::stopListening() {
    if (session_) {
        session_->stop();
    }
    finishListening();
}

void CMonListen::finishListening() {
    if (analysis_) {
        QMetaObject::invokeMethod(analysis_, &ListenAnalysis::stop);
    }
    if (watch_) {
        watch_->stop();
    }
    if (!session_) {
        return;
    }
    if (!trackWasMuted_ && judgedTrack_ >= 0 && judgedTrack_ < context_.doc.song.trackCount()) {
        context_.doc.setTrackFlag(judgedTrack_, TrackMuted, false);
    }
    session_.reset();
    showHeard(std::nullopt);
    shown_->waiting = false;
    shown_->expected.clear();
    display_->show(*shown_);
    updateButtons();
}

void CMonListen::checkStillPlaying() {
    if (!session_) {
        return;
    }
    const Transport& transport = context_.hub.transport();
    if (session_->active() && !transport.isPlaying() && !transport.heldAt()) {
        // Stopped from the frame.
        stopListening();
        return;
    }
    session_->advanceTo(nowMs());
    if (heardNote_ >= 0 && nowMs() - lastPitchMs_ > kSilenceMs) {
        showHeard(std::nullopt);
    }
    if (!session_->active() && !session_->closing()) {
        finishListening();
    }
}

void CMonListen::framesHeard(const std::vector<PitchFrame>& frames) {
    if (!session_) {
        return;
    }
    session_->hear(frames);
    const auto latest = std::find_if(frames.rbegin(), frames.rend(),
                                     [](const PitchFrame& f) { return f.hasPitch(); });
    if (latest != frames.rend()) {
        lastPitchMs_ = nowMs();
        showHeard(*latest);
    }
}

void CMonListen::showHeard(const std::optional<PitchFrame>& frame) {
    const int note = frame ? frame->note : -1;
    if (frame) {
        const HeardNamer names = namer();
        shown_->heard = names.name(frame->note, frame->cents);
        shown_->heardPitch = frame->pitch();
        shown_->span = names.span(frame->note);
        shown_->spanLabels.clear();
        for (int n = shown_->span.low; n <= shown_->span.high; ++n) {
            shown_->spanLabels.push_back(QString::fromStdString(names.tab(n)));
        }
    } else {
        shown_->heard.reset();
    }
    display_->show(*shown_);
    if (note != heardNote_) {
        heardNote_ = note;
        emit heardChanged(note);
    }
}

void CMonListen::showExpected() {
    std::optional<ExpectedNote> next;
    if (session_ && session_->options().wait) {
        next = session_->nextExpected();
    } else if (session_) {
        const std::int32_t tick = context_.hub.transport().soundingTick();
        const auto& notes = session_->expected();
        const auto found = std::find_if(notes.begin(), notes.end(),
                                        [tick](const ExpectedNote& n) { return n.tick >= tick; });
        if (found != notes.end()) {
            next = *found;
        }
    }
    shown_->expected =
        next ? QString::fromStdString(namer().tab(next->note, next->fingering)) : QString();
    shown_->waiting = session_ && session_->waiting();
    display_->show(*shown_);
}

void CMonListen::noteJudged(const JudgedNote& note) {
    passNotes_.push_back(note);
    shown_->score = scorePass(passNotes_, session_ ? session_->score().extras : 0);
    display_->show(*shown_);
    emit judgedChanged();
}

void CMonListen::passEnded(const PassScore& score, bool complete) {
    shown_->score = score;
    if (complete && session_) {
        PassRecord record;
        record.date = utcDate(std::time(nullptr));
        record.songPath = scoreSongPath(context_.doc.pathName());
        record.notesHash = notesHash(context_.doc.song);
        record.tempoPercent = context_.hub.transport().tempoPercent();
        record.from = session_->options().range.from;
        record.to = session_->options().range.to;
        record.score = score;
        if (ScoreStore(scorePath_).append(record) != 0) {
            setStatus(QStringLiteral("The score could not be kept in %1")
                          .arg(QString::fromStdString(scorePath_)));
        }
    }
    loadHistory();
}

// ---- A recording judged at once ----

bool CMonListen::showRecording(const QString& path, int tick) {
    stopListening();
    std::vector<PitchFrame> frames;
    double delay = 0.0;
    QString why;
    if (!analyseRecording(path, settings().concertPitch, frames, delay, why)) {
        setStatus(why);
        return false;
    }
    const MidiSong& song = context_.doc.song;
    ListenRange range;
    range.track = chosenTrack();
    const ExpectedTrack expected = expectedNotes(song, range);
    JudgeOptions options;
    options.toleranceCents = tolerance_->value();
    options.analysisDelayMs = delay;
    Judge judge(options);
    for (const ExpectedNote& note : expected.notes) {
        judge.expect(note);
    }
    for (const PitchFrame& frame : frames) {
        judge.hear(frame);
    }
    judge.finish();
    judgedTrack_ = expected.track;
    passNotes_.clear();
    for (const JudgedNote& note : judge.judged()) {
        if (note.expected.tick < tick) {
            passNotes_.push_back(note);
        }
    }
    *shown_ = ListenShown{};
    shown_->score = scorePass(passNotes_, 0);
    const auto next = std::find_if(expected.notes.begin(), expected.notes.end(),
                                   [tick](const ExpectedNote& n) { return n.tick >= tick; });
    if (next != expected.notes.end()) {
        shown_->expected = QString::fromStdString(namer().tab(next->note, next->fingering));
    }
    loadHistory();
    // What was heard when the song got there.
    const double atMs = songMs(song, tick) + delay;
    std::optional<PitchFrame> heard;
    for (const PitchFrame& frame : frames) {
        if (frame.ms > atMs) {
            break;
        }
        if (frame.hasPitch() && atMs - frame.ms < kSilenceMs) {
            heard = frame;
        }
    }
    showHeard(heard);
    setStatus(QStringLiteral("%1, judged up to tick %2").arg(QFileInfo(path).fileName()).arg(tick));
    emit judgedChanged();
    return true;
}

// ---- Calibration ----

void CMonListen::calibrate() {
    const std::string input = chosenInput();
    if (QString::fromStdString(input).startsWith(kRecordingPrefix)) {
        setStatus(QStringLiteral("Calibration needs a capture device."));
        return;
    }
    const std::string output = calibrationOutput(input);
    if (output.empty()) {
        setStatus(QStringLiteral("No playback device of the same sound system to play clicks on."));
        return;
    }
    if (calibration_.joinable()) {
        return;
    }
    setStatus(QStringLiteral("Calibrating: hold the microphone near the speaker..."));
    calibration_ = std::thread([this, input, output] {
        const LatencyMeasurement m = calibrateLatency(input, output);
        QMetaObject::invokeMethod(
            this,
            [this, m, input, output] {
                calibration_.join();
                if (m.result == ListenOk) {
                    storeRoundTrip(context_.store, input, output, m.roundTripMs);
                    setStatus(QStringLiteral("Round trip %1 ms (%2 of %3 clicks heard)")
                                  .arg(m.roundTripMs, 0, 'f', 1)
                                  .arg(m.clicksHeard)
                                  .arg(m.clicksPlayed));
                } else {
                    setStatus(m.result == ListenNotHeard
                                  ? QStringLiteral("Too few clicks were heard: turn it up.")
                                  : QStringLiteral("The devices did not open for calibrating."));
                }
                updateButtons();
            },
            Qt::QueuedConnection);
    });
    updateButtons();
}

} // namespace reedtab

#include "apptestsupport.h"

#include "playback/streamplayer.h"

#include <chrono>

namespace reedtab::testing {

namespace {

// The clock is owned by the program but read by the recording output, which lives in the test
// program beside it; a clock that outlives both keeps that simple.
ManualClock& sharedClock() {
    static ManualClock clock;
    return clock;
}

class BorrowedClock final : public Clock {
public:
    explicit BorrowedClock(const Clock& clock) : clock_(clock) {}
    Nanoseconds now() const override { return clock_.now(); }

private:
    const Clock& clock_;
};

} // namespace

QApplication& application() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QApplication instance(argc, argv);
    return instance;
}

QString corpusFile(const char* relative) {
    return QString::fromLatin1(REEDTAB_CORPUS_DIR) + QLatin1Char('/') + QString::fromLatin1(relative);
}

TestProgram::TestProgram(std::unique_ptr<MemorySettingsStore> store)
    : output_(sharedClock()) {
    application();
    settings() = Settings{};
    clock_ = &sharedClock();
    if (!store) {
        store = std::make_unique<MemorySettingsStore>();
    }
    store_ = store.get();
    AppEnvironment environment;
    environment.store = std::move(store);
    environment.outputs = std::make_unique<SingleOutputProvider>(output_);
    environment.clock = std::make_unique<BorrowedClock>(sharedClock());
    environment.outputDevices = {kMidiMapperName};
    app_ = std::make_unique<CReedtabApp>(std::move(environment));
    app_->start(QString(), false);
    frame().messageSink = [this](const std::string& text, const std::string& caption,
                                 MessageIcon icon) { messages.push_back({text, caption, icon}); };
    frame().questionSink = [this](const std::string&, const std::string&, bool) {
        return answer;
    };
    frame().resize(1000, 600);
    frame().show();
    QApplication::processEvents();
}

TestProgram::~TestProgram() {
    app_.reset();
    settings() = Settings{};
}

void TestProgram::play(int ms, int stepMs) {
    for (int t = 0; t < ms; t += stepMs) {
        clock_->advance(std::chrono::milliseconds(stepMs));
        frame().player().stream().advanceTo(clock_->now());
        QApplication::processEvents();
    }
}

} // namespace reedtab::testing

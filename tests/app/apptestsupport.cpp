#include "apptestsupport.h"

#include "playback/streamplayer.h"

#include <chrono>

#include <gtest/gtest.h>

namespace reedtab::testing {

QApplication& application() {
    return *qApp;
}

QString corpusFile(const char* relative) {
    return QString::fromLatin1(REEDTAB_CORPUS_DIR) + QLatin1Char('/') +
           QString::fromLatin1(relative);
}

TestProgram::TestProgram(std::unique_ptr<MemorySettingsStore> store,
                         std::vector<std::string> outputDevices,
                         std::vector<std::string> inputDevices, const QString& soundFont) {
    application();
    settings() = Settings{};
    // The stream runs on the manual clock only when it is handed the clock itself.
    auto clock = std::make_unique<ManualClock>();
    clock_ = clock.get();
    output_ = std::make_unique<RecordingOutput>(*clock_);
    if (!store) {
        store = std::make_unique<MemorySettingsStore>();
    }
    store_ = store.get();
    AppEnvironment environment;
    environment.store = std::move(store);
    auto outputs = std::make_unique<TestOutputProvider>(
        *output_, static_cast<int>(outputDevices.size()) - 1, openedOutputs);
    outputs_ = outputs.get();
    environment.outputs = std::move(outputs);
    environment.clock = std::move(clock);
    environment.outputDevices = std::move(outputDevices);
    environment.inputDevices = std::move(inputDevices);
    app_ = std::make_unique<CReedtabApp>(std::move(environment));
    app_->setSoundFont(soundFont);
    app_->start(QString(), false);
    frame().messageSink = [this](const std::string& text, const std::string& caption,
                                 MessageIcon icon) {
        messages.push_back({text, caption, icon});
    };
    frame().questionSink = [this](const std::string&, const std::string&, bool) { return answer; };
    frame().resize(1000, 600);
    frame().show();
    QApplication::processEvents();
}

TestProgram::~TestProgram() {
    app_.reset();
    settings() = Settings{};
}

void TestProgram::quit() {
    app_.reset();
}

void TestProgram::play(int ms, int stepMs) {
    for (int t = 0; t < ms; t += stepMs) {
        clock_->advance(std::chrono::milliseconds(stepMs));
        frame().player().stream().advanceTo(clock_->now());
        QApplication::processEvents();
    }
}

} // namespace reedtab::testing

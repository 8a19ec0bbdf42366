#pragma once

// A whole program on the offscreen platform for the widget tests: an in-memory settings store,
// a recording output and a manual clock, so that playback runs only when the test moves time.

#include "app/mainframe.h"
#include "app/reedtabapp.h"
#include "playback/clock.h"
#include "playback/outputdevice.h"
#include "settings/settings.h"

#include <QApplication>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace reedtab::testing {

QApplication& application();

/// A corpus file by its path below the corpus folder.
QString corpusFile(const char* relative);

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

class TestProgram {
public:
    /// `store` starts the run with those settings (an empty store when null); the device
    /// lists are the ones the program finds ("Midi Mapper" first among the outputs).
    explicit TestProgram(std::unique_ptr<MemorySettingsStore> store = nullptr,
                         std::vector<std::string> outputDevices = {kMidiMapperName},
                         std::vector<std::string> inputDevices = {});
    ~TestProgram();

    CReedtabApp& app() { return *app_; }
    CMainFrame& frame() { return app_->frame(); }
    MemorySettingsStore& store() { return *store_; }
    ManualClock& clock() { return *clock_; }
    RecordingOutput& output() { return *output_; }

    /// Moves the manual clock on by `ms` milliseconds in steps of `stepMs`, driving the stream
    /// and handling the posted messages after each step.
    void play(int ms, int stepMs = 5);

    std::vector<ShownMessage> messages;
    Answer answer = Answer::No;
    /// The device index of every output the player opened, in order (-1 the mapper).
    std::vector<int> openedOutputs;

private:
    ManualClock* clock_ = nullptr;
    MemorySettingsStore* store_ = nullptr;
    std::unique_ptr<RecordingOutput> output_;
    std::unique_ptr<CReedtabApp> app_;
};

} // namespace reedtab::testing

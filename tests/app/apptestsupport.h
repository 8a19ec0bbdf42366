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

/// Every output is the test's recording; `ready` plays a synthesizer still reading its
/// SoundFont, `preparedSoundFont` is what the program asked it to read. A change of SoundFont
/// while running is recorded in `soundFontLoads`, stays Loading until the test sets `load`, and
/// ends in `adopted` (the paths swapped in) or `dropped`.
class TestOutputProvider final : public OutputProvider {
public:
    /// `count` listed ports besides the mapper, every one forwarding to `device`; the index of
    /// each device opened is appended to `opened`.
    TestOutputProvider(OutputDevice& device, int count, std::vector<int>& opened)
        : device_(device), count_(count), opened_(opened) {}
    void prepare(const std::string& soundFont) override { preparedSoundFont = soundFont; }
    bool isReady(int) override { return ready; }
    int deviceCount() override { return count_; }
    bool isHeard(int) override { return heard; }
    std::unique_ptr<OutputDevice> create(int index) override {
        opened_.push_back(index);
        return std::make_unique<ForwardingOutput>(device_);
    }

    bool canLoadSoundFont() const override { return loadsWhileRunning; }
    void loadSoundFont(const std::string& soundFont) override {
        soundFontLoads.push_back(soundFont);
        load = SoundFontLoad::Loading;
    }
    SoundFontLoad soundFontLoad(int& result) override {
        if (load == SoundFontLoad::Loaded || load == SoundFontLoad::Failed) {
            result = loadResult;
        }
        return load;
    }
    void finishSoundFontLoad(bool adopt) override {
        if (adopt && load == SoundFontLoad::Loaded) {
            adopted.push_back(soundFontLoads.back());
        } else {
            ++dropped;
        }
        load = SoundFontLoad::None;
    }

    bool ready = true;
    /// False: the outputs play where nobody hears them.
    bool heard = true;
    std::string preparedSoundFont;
    bool loadsWhileRunning = true;
    std::vector<std::string> soundFontLoads;
    SoundFontLoad load = SoundFontLoad::None;
    int loadResult = SoundFontLoaded;
    std::vector<std::string> adopted;
    int dropped = 0;

private:
    OutputDevice& device_;
    int count_;
    std::vector<int>& opened_;
};

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

class TestProgram {
public:
    /// `store` starts the run with those settings (an empty store when null); the device
    /// lists are the ones the program finds ("Midi Mapper" first among the outputs);
    /// `soundFont` is the command line's SoundFont.
    explicit TestProgram(std::unique_ptr<MemorySettingsStore> store = nullptr,
                         std::vector<std::string> outputDevices = {kMidiMapperName},
                         std::vector<std::string> inputDevices = {},
                         const QString& soundFont = QString());
    ~TestProgram();

    CReedtabApp& app() { return *app_; }
    CMainFrame& frame() { return app_->frame(); }
    MemorySettingsStore& store() { return *store_; }
    ManualClock& clock() { return *clock_; }
    RecordingOutput& output() { return *output_; }
    TestOutputProvider& outputs() { return *outputs_; }

    /// Ends the program as the user's Exit does, while the test's output and clock live on;
    /// `app` and `frame` are gone afterwards.
    void quit();

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
    TestOutputProvider* outputs_ = nullptr;
    std::unique_ptr<CReedtabApp> app_;
};

} // namespace reedtab::testing

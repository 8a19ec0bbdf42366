#include "app/soundfontswitch.h"

#include "playback/outputdevice.h"
#include "playback/streamplayer.h"
#include "settings/settings.h"

#include <QTimer>

#include <utility>

namespace reedtab {

namespace {

constexpr int kPollMs = 100;

} // namespace

std::string soundFontFailureText(const std::string& path, int result) {
    const std::string name = path.empty() ? "the system's default SoundFont" : "\"" + path + "\"";
    std::string reason;
    switch (result) {
    case SoundFontCannotOpen:
        reason = "Cannot read the SoundFont " + name + ": the file is missing or cannot be opened.";
        break;
    case SoundFontNotASoundFont:
        reason = "The file " + name + " is not a SoundFont (an .sf2 or .sf3 file).";
        break;
    case SoundFontDamaged:
        reason = "The SoundFont " + name +
                 " could not be loaded: the file is damaged or of a kind the synthesizer cannot "
                 "read.";
        break;
    case SoundFontNoneInstalled:
        reason = "No General MIDI SoundFont is installed on this system.";
        break;
    default:
        reason = "The built-in synthesizer could not be started.";
        break;
    }
    return reason + "\nThe SoundFont in use is kept.";
}

SoundFontSwitch::SoundFontSwitch(OutputProvider& outputs, StreamPlayer& player,
                                 SettingsStore& store, Hooks hooks)
    : outputs_(outputs), player_(player), store_(store), hooks_(std::move(hooks)),
      timer_(std::make_unique<QTimer>()) {
    timer_->setInterval(kPollMs);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { poll(); });
}

SoundFontSwitch::~SoundFontSwitch() = default;

bool SoundFontSwitch::changesWhileRunning() const {
    return outputs_.canLoadSoundFont();
}

void SoundFontSwitch::change(const std::string& path) {
    if (!changesWhileRunning()) {
        settings().soundFont = path;
        saveSettings(store_, kSavePlayer);
        return;
    }
    // Dropping a synthesizer still reading its SoundFont would wait for the read: the newer
    // request waits instead, and replaces the older one when it is done.
    if (loading()) {
        nextPath_ = path;
        return;
    }
    start(path);
}

void SoundFontSwitch::start(const std::string& path) {
    loadingPath_ = path;
    nextPath_.reset();
    outputs_.loadSoundFont(path);
    timer_->start();
}

void SoundFontSwitch::poll() {
    if (!loadingPath_) {
        timer_->stop();
        return;
    }
    int result = SoundFontLoaded;
    const SoundFontLoad state = outputs_.soundFontLoad(result);
    if (state == SoundFontLoad::Loading) {
        return;
    }
    timer_->stop();
    const std::string path = *std::exchange(loadingPath_, std::nullopt);
    if (nextPath_) {
        outputs_.finishSoundFontLoad(false);
        start(*nextPath_);
        return;
    }
    switch (state) {
    case SoundFontLoad::Loaded:
        swapIn();
        settings().soundFont = path;
        saveSettings(store_, kSavePlayer);
        break;
    case SoundFontLoad::Failed:
        outputs_.finishSoundFontLoad(false);
        if (hooks_.failed) {
            hooks_.failed(soundFontFailureText(path, result));
        }
        break;
    case SoundFontLoad::None:
    case SoundFontLoad::Loading:
        break;
    }
}

// The stream sounds through the synthesizer only while the mapper is the output: then the
// device is closed around the swap, so that no message reaches the synthesizer being freed.
void SoundFontSwitch::swapIn() {
    const bool throughSynth =
        settings().outputDeviceIndex == -1 && player_.state() != PlayerState::Closed;
    const bool playing = throughSynth && player_.isPlaying();
    if (throughSynth) {
        if (playing) {
            player_.stop(false);
        }
        player_.closeDevice();
    }
    outputs_.finishSoundFontLoad(true);
    if (throughSynth) {
        // A device that will not open leaves the player closed; the next Play reports it.
        static_cast<void>(player_.openDevice());
        if (playing && hooks_.resume) {
            hooks_.resume();
        }
    }
}

} // namespace reedtab

#pragma once

// Gives the built-in synthesizer another SoundFont while the program runs. The new one is read
// into a second synthesizer on a thread of its own, as at start-up, while the first plays on;
// once read it takes the first one's place, the player's device closed around the swap and the
// song playing on from where it was, and the settings keep it. A file the synthesizer cannot
// use leaves the old SoundFont playing and the settings as they were, and the user is told why.
//
// Threads: the user-interface thread (a timer looks in on the load).

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QTimer;

namespace reedtab {

class OutputProvider;
class SettingsStore;
class StreamPlayer;

// The text that tells the user why the SoundFont `path` ("" for the system's default) cannot
// be used, for a SoundFontResult other than SoundFontLoaded.
std::string soundFontFailureText(const std::string& path, int result);

class SoundFontSwitch {
public:
    struct Hooks {
        std::function<void(const std::string& text)> failed; // tells the user
        std::function<void()> resume; // plays on at the play position after a swap
    };

    SoundFontSwitch(OutputProvider& outputs, StreamPlayer& player, SettingsStore& store,
                    Hooks hooks);
    ~SoundFontSwitch();
    SoundFontSwitch(const SoundFontSwitch&) = delete;
    SoundFontSwitch& operator=(const SoundFontSwitch&) = delete;

    // True when the synthesizer takes another SoundFont at once; otherwise a new one is only
    // kept in the settings and read at the next start.
    bool changesWhileRunning() const;

    // Asks for the SoundFont `path` ("" for the system's default). While running it is read in
    // the background (a request made while another is read waits for that one and replaces
    // it); otherwise it is saved for the next start.
    void change(const std::string& path);

    // True while a SoundFont is being read.
    bool loading() const { return loadingPath_.has_value(); }

    // Looks in on the load and swaps or reports once it ended; its timer calls it every
    // tenth of a second while a load is under way.
    void poll();

private:
    void start(const std::string& path);
    void swapIn();

    OutputProvider& outputs_;
    StreamPlayer& player_;
    SettingsStore& store_;
    Hooks hooks_;
    std::unique_ptr<QTimer> timer_;
    std::optional<std::string> loadingPath_;
    std::optional<std::string> nextPath_; // asked for while another was being read
};

} // namespace reedtab

#pragma once

#include <streambuf>

namespace reedtab::internal {

/// A machine without a sound card or MIDI system is an ordinary case here, so the libraries'
/// complaints about it on stderr are switched off (once per process, any thread).
void quietenSoundSystem();

/// Mutes std::cerr while it lives: RtMidi prints its constructors' warnings there before an
/// error callback can be installed. For the GUI thread's device enumeration only.
class CerrMute {
public:
    CerrMute();
    ~CerrMute();
    CerrMute(const CerrMute&) = delete;
    CerrMute& operator=(const CerrMute&) = delete;

private:
    std::streambuf* saved_;
};

} // namespace reedtab::internal

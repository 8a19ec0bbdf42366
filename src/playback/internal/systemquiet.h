#pragma once

#include <streambuf>

namespace reedtab::internal {

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

#include "playback/internal/systemquiet.h"

#include <alsa/asoundlib.h>

#include <iostream>
#include <mutex>

namespace reedtab::internal {

namespace {

void silentAlsaHandler(const char*, int, const char*, int, const char*, ...) {}

class NullBuffer final : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

NullBuffer nullBuffer;

} // namespace

void quietenSoundSystem() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&silentAlsaHandler); });
}

CerrMute::CerrMute() : saved_(std::cerr.rdbuf(&nullBuffer)) {}

CerrMute::~CerrMute() {
    std::cerr.rdbuf(saved_);
}

} // namespace reedtab::internal

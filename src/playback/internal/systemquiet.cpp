#include "playback/internal/systemquiet.h"

#include "playback/outputdevice.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <iostream>
#include <mutex>

namespace reedtab::internal {

namespace {

void silentAlsaHandler(const char*, int, const char*, int, const char*, ...) {}

void silentJackHandler(const char*) {}

class NullBuffer final : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

NullBuffer nullBuffer;

} // namespace

} // namespace reedtab::internal

namespace reedtab {

void quietenSoundSystem() {
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(&internal::silentAlsaHandler);
        jack_set_error_function(&internal::silentJackHandler);
        jack_set_info_function(&internal::silentJackHandler);
    });
}

} // namespace reedtab

namespace reedtab::internal {

CerrMute::CerrMute() : saved_(std::cerr.rdbuf(&nullBuffer)) {}

CerrMute::~CerrMute() {
    std::cerr.rdbuf(saved_);
}

} // namespace reedtab::internal

namespace reedtab {

bool jackServerRunning() {
    quietenSoundSystem();
    jack_status_t status{};
    jack_client_t* client = jack_client_open("Reedtab Midi probe", JackNoStartServer, &status);
    if (!client) {
        return false;
    }
    jack_client_close(client);
    return true;
}

} // namespace reedtab

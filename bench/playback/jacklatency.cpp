// Lateness at a real receiver: the stream player plays a dense song to a JACK MIDI port and a
// JACK client of this program's own notes when each message arrives; beside it, a bare
// sleep_until loop sends the same schedule through the same kind of port. Both figures include
// JACK's period (a message sent during one cycle arrives with the next), so their ratio shows
// what the player adds. The two take turns, ROUNDS times each. Needs a running JACK server
// (JACK_DEFAULT_SERVER names it); never starts one.
//
// usage: bench_jack_latency [SECONDS [ROUNDS]]   (default 4 s, 3 rounds)

#include "../../tests/support/jacktestclient.h"
#include "benchsupport.h"
#include "playback/outputdevice.h"
#include "playback/playermessagequeue.h"
#include "playback/streamplayer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace reedtab;
using namespace reedtab::bench;
using namespace std::chrono_literals;
using testing::JackTestClient;

namespace {

bool isSchedule(const std::vector<std::uint8_t>& bytes) {
    // The port's own resets (all sound off, all notes off) are not part of the song.
    return bytes.size() == 3 && bytes[0] < 0xF0 &&
           !((bytes[0] & 0xF0) == 0xB0 && (bytes[1] == 120 || bytes[1] == 123));
}

// Lateness of every scheduled message at the receiver; false when some did not arrive in order.
bool lateness(JackTestClient& receiver, const Schedule& schedule,
              std::chrono::steady_clock::time_point origin, std::vector<double>& lateMs) {
    receiver.waitForMessages(schedule.ticks.size(), 2s);
    std::size_t i = 0;
    for (const auto& message : receiver.received()) {
        if (!isSchedule(message.bytes)) {
            continue;
        }
        if (i >= schedule.bytes.size() || message.bytes != schedule.bytes[i]) {
            return false;
        }
        const auto ideal = origin.time_since_epoch() + tickTime(schedule.ticks[i]);
        lateMs.push_back(std::chrono::duration<double, std::milli>(message.time - ideal).count());
        ++i;
    }
    return i == schedule.ticks.size();
}

bool playerRound(MidiSong& song, const Schedule& schedule, int port, std::vector<double>& lateMs) {
    JackTestClient receiver("reedtab-bench-receiver");
    SteadyClock clock;
    SystemOutputProvider outputs;
    StreamPlayer player(outputs, clock);
    PlayerMessageQueue window(&player);
    player.setParams(denseParams());
    player.setOutputDevice(port);
    if (player.init(&song, &window) != PlayerOk || player.openDevice() != PlayerOk ||
        player.start(0, false) != PlayerOk) {
        return false;
    }
    // The stream's clock starts with the restart at the very end of start.
    const auto origin = std::chrono::steady_clock::now();
    bool stopped = false;
    window.setHandler([&](const PlayerMessage& m) { stopped |= m.message == WM_PLAYER_STOPPED; });
    const auto limit = origin + tickTime(song.length) + 10s;
    while (!stopped && std::chrono::steady_clock::now() < limit) {
        window.dispatchAll();
        std::this_thread::sleep_for(10ms);
    }
    player.shutdown();
    return stopped && lateness(receiver, schedule, origin, lateMs);
}

// The reference: a bare loop that sleeps until each ideal time and sends through a port.
bool bareRound(const Schedule& schedule, const std::string& portName, std::vector<double>& lateMs) {
    JackTestClient receiver("reedtab-bench-receiver");
    auto port = makePortOutput(portName);
    if (port->open() != DeviceOk) {
        return false;
    }
    const auto origin = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < schedule.ticks.size(); ++i) {
        std::this_thread::sleep_until(origin + tickTime(schedule.ticks[i]));
        const auto& bytes = schedule.bytes[i];
        port->shortMessage(bytes[0] | bytes[1] << 8 | bytes[2] << 16);
    }
    port->close();
    return lateness(receiver, schedule, origin, lateMs);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 4.0;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::string portName;
    int port = -1;
    {
        JackTestClient probe("reedtab-bench-receiver");
        if (!probe.isOpen()) {
            std::fprintf(stderr, "bench_jack_latency: needs a running JACK server\n");
            return 1;
        }
        portName = probe.midiInName();
        const auto names = outputDeviceNames();
        const auto found = std::find(names.begin(), names.end(), portName);
        if (found == names.end()) {
            std::fprintf(stderr, "bench_jack_latency: %s is not among the MIDI outputs\n",
                         portName.c_str());
            return 1;
        }
        port = static_cast<int>(found - names.begin()) - 1;
    }
    MidiSong song;
    const Schedule schedule = prepareDenseSong(song, seconds);

    std::vector<double> playerLate;
    std::vector<double> bareLate;
    std::printf("dense song: %zu channel messages over %.1f s to a JACK MIDI port, %d rounds\n",
                schedule.ticks.size(), seconds, rounds);
    std::printf("round  player p99 ms  sleep_until p99 ms\n");
    for (int r = 0; r < rounds; ++r) {
        std::vector<double> p;
        std::vector<double> b;
        if (!playerRound(song, schedule, port, p) || !bareRound(schedule, portName, b)) {
            std::fprintf(stderr, "bench_jack_latency: messages went missing or out of order\n");
            return 1;
        }
        std::printf("%5d  %13.3f  %18.3f\n", r + 1, figures(p).p99, figures(b).p99);
        playerLate.insert(playerLate.end(), p.begin(), p.end());
        bareLate.insert(bareLate.end(), b.begin(), b.end());
    }
    const Figures p = figures(playerLate);
    const Figures b = figures(bareLate);
    std::printf("every message arrived in order: %zu per side\n", p.count);
    std::printf("lateness at the receiver, ms   p50       p99       max\n");
    std::printf("player                   %9.3f %9.3f %9.3f\n", p.p50, p.p99, p.max);
    std::printf("sleep_until loop         %9.3f %9.3f %9.3f\n", b.p50, b.p99, b.max);
    std::printf("ratio p99 player / sleep_until: %.2f (aim: at most 1.2)\n",
                b.p99 > 0 ? p.p99 / b.p99 : 0.0);
    return 0;
}

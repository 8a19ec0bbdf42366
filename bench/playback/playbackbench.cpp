// Real-time timing of the stream player on the steady clock into a recording output: how late
// every message of a dense song reaches the device against its ideal time, beside a bare
// sleep_until loop over the same schedule, and the CPU time the player takes per second of
// music. The player and the bare loop take turns, ROUNDS times each, so that both see the same
// load on the machine; the figures pool every round.
//
// usage: bench_playback [SECONDS [ROUNDS]]   (default 4 s, 3 rounds)

#include "benchsupport.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "playback/playermessagequeue.h"
#include "playback/streamplayer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

using namespace reedtab;
using namespace std::chrono_literals;

namespace {

using namespace reedtab::bench;

double cpuSeconds(clockid_t id) {
    timespec t{};
    clock_gettime(id, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double processCpuSeconds() {
    return cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

struct Round {
    std::vector<double> lateMs;
    double cpuSeconds = 0;     // the player's timer thread, or the bare loop's thread
    double processSeconds = 0; // the whole process during the run
    double musicSeconds = 0;
    std::size_t mismatches = 0;
};

Round playerRound(MidiSong& song, const Schedule& schedule) {
    Round round;
    SteadyClock clock;
    std::mutex mutex;
    std::vector<Nanoseconds> arrivals;
    arrivals.reserve(schedule.ticks.size());
    RecordingOutput output(clock);
    output.setKeep(false);
    // The listener runs on the stream's timer thread: its CPU clock is the player's own.
    std::atomic<bool> haveTimerClock{false};
    clockid_t timerClock{};
    bool counting = false;
    output.setListener([&](const RecordedMessage& m) {
        if (!haveTimerClock.load()) {
            pthread_getcpuclockid(pthread_self(), &timerClock);
            haveTimerClock.store(true);
        }
        if (m.bytes.size() != 3 || m.bytes[0] >= 0xF0) {
            return;
        }
        std::lock_guard lock(mutex);
        if (!counting) {
            return;
        }
        const std::size_t i = arrivals.size();
        if (i < schedule.bytes.size() && m.bytes != schedule.bytes[i]) {
            ++round.mismatches;
        }
        arrivals.push_back(m.time);
    });
    SingleOutputProvider provider(output);
    StreamPlayer player(provider, clock);
    PlayerMessageQueue window(&player);
    player.setParams(denseParams());
    if (player.init(&song, &window) != PlayerOk || player.openDevice() != PlayerOk) {
        std::fprintf(stderr, "bench_playback: cannot open the recording output\n");
        std::exit(1);
    }
    {
        std::lock_guard lock(mutex);
        counting = true;
    }
    const double processBefore = processCpuSeconds();
    const double timerBefore = haveTimerClock.load() ? cpuSeconds(timerClock) : 0.0;
    if (player.start(0, false) != PlayerOk) {
        std::fprintf(stderr, "bench_playback: the player did not start\n");
        std::exit(1);
    }
    // The stream's clock starts with the restart at the very end of start.
    const Nanoseconds origin = clock.now();
    bool stopped = false;
    window.setHandler([&](const PlayerMessage& m) { stopped |= m.message == WM_PLAYER_STOPPED; });
    while (!stopped) {
        window.dispatchAll();
        std::this_thread::sleep_for(10ms);
    }
    round.musicSeconds = std::chrono::duration<double>(clock.now() - origin).count();
    round.processSeconds = processCpuSeconds() - processBefore;
    round.cpuSeconds = haveTimerClock.load() ? cpuSeconds(timerClock) - timerBefore : 0.0;
    player.shutdown();
    std::lock_guard lock(mutex);
    for (std::size_t i = 0; i < arrivals.size() && i < schedule.ticks.size(); ++i) {
        round.lateMs.push_back(std::chrono::duration<double, std::milli>(
                                   arrivals[i] - origin - tickTime(schedule.ticks[i]))
                                   .count());
    }
    if (arrivals.size() < schedule.ticks.size()) {
        round.mismatches += 1;
    }
    return round;
}

// The reference: a bare loop that sleeps until each ideal time of the same schedule.
Round bareRound(const Schedule& schedule) {
    Round round;
    round.lateMs.reserve(schedule.ticks.size());
    const double before = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const auto origin = std::chrono::steady_clock::now();
    for (const int tick : schedule.ticks) {
        const auto ideal = origin + tickTime(tick);
        std::this_thread::sleep_until(ideal);
        round.lateMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - ideal)
                .count());
    }
    round.cpuSeconds = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - before;
    round.musicSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - origin).count();
    return round;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 4.0;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    MidiSong song;
    const Schedule schedule = prepareDenseSong(song, seconds);

    std::vector<double> playerLate;
    std::vector<double> bareLate;
    double playerCpu = 0, processCpu = 0, playerMusic = 0, bareCpu = 0, bareMusic = 0;
    std::size_t mismatches = 0;
    std::printf("dense song: %d tracks, %zu channel messages over %.1f s (%.0f per second), "
                "%d rounds\n",
                kTracks, schedule.ticks.size(), seconds, schedule.ticks.size() / seconds, rounds);
    std::printf("round  player p99 ms  sleep_until p99 ms\n");
    for (int r = 0; r < rounds; ++r) {
        const Round p = playerRound(song, schedule);
        const Round b = bareRound(schedule);
        std::printf("%5d  %13.3f  %18.3f\n", r + 1, figures(p.lateMs).p99, figures(b.lateMs).p99);
        playerLate.insert(playerLate.end(), p.lateMs.begin(), p.lateMs.end());
        bareLate.insert(bareLate.end(), b.lateMs.begin(), b.lateMs.end());
        playerCpu += p.cpuSeconds;
        processCpu += p.processSeconds;
        playerMusic += p.musicSeconds;
        bareCpu += b.cpuSeconds;
        bareMusic += b.musicSeconds;
        mismatches += p.mismatches;
    }
    const Figures p = figures(playerLate);
    const Figures b = figures(bareLate);
    std::printf("messages arrived: %zu of %zu, %zu rounds with messages out of order or missing\n",
                p.count, schedule.ticks.size() * rounds, mismatches);
    std::printf("lateness ms        p50       p99       max\n");
    std::printf("player       %9.3f %9.3f %9.3f\n", p.p50, p.p99, p.max);
    std::printf("sleep_until  %9.3f %9.3f %9.3f\n", b.p50, b.p99, b.max);
    std::printf("ratio p99 player / sleep_until: %.2f (aim: at most 1.2)\n",
                b.p99 > 0 ? p.p99 / b.p99 : 0.0);
    std::printf("cpu of the player's timer thread: %.2f ms per second of music (%.3f %% of one "
                "core; aim well under 2 %%)\n",
                playerCpu * 1000 / playerMusic, playerCpu * 100 / playerMusic);
    std::printf("cpu of the bare sleep_until loop: %.2f ms per second (%.3f %%)\n",
                bareCpu * 1000 / bareMusic, bareCpu * 100 / bareMusic);
    std::printf("cpu of the whole process while the player ran (with this program's stand-in "
                "frame loop): %.2f ms per second (%.3f %%)\n",
                processCpu * 1000 / playerMusic, processCpu * 100 / playerMusic);
    return mismatches == 0 ? 0 : 1;
}

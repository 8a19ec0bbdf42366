// Reads and pairs a large generated MIDI file several times and prints the median speed; when
// midicsv is installed, runs it on the same file in the same run and prints the ratio.
//
// usage: bench_model [EVENTS_PER_TRACK] [RUNS] [KEEP_PATH]
// With KEEP_PATH the generated file is written there and kept (for profiling by hand).

#include "model/midisong.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void putVarLen(std::string& out, uint32_t v) {
    char groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<char>(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n-- > 0)
        out.push_back(static_cast<char>(groups[n] | (n ? 0x80 : 0)));
}

void put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

// 16 tracks of dense music as a sequencer writes it: running status, note-offs as velocity-0
// note-ons, a controller now and then. Returns the file bytes; `events` gets the event count.
std::string makeSong(int eventsPerTrack, long& events) {
    std::string file = "MThd";
    put32(file, 6);
    file += std::string("\x00\x01\x00\x10\x01\xE0", 6);
    events = 0;
    uint32_t seed = 12345;
    auto random = [&seed](uint32_t range) {
        seed = seed * 1103515245 + 12345;
        return (seed >> 16) % range;
    };
    for (int t = 0; t < 16; ++t) {
        std::string body;
        int channel = t;
        body += std::string("\x00\xFF\x03\x05Track", 9);
        body +=
            std::string("\x00", 1) + static_cast<char>(0xC0 | channel) + static_cast<char>(t * 5);
        events += 2;
        int written = 2;
        while (written + 3 < eventsPerTrack) {
            if (random(16) == 0) {
                putVarLen(body, random(10));
                body += static_cast<char>(0xB0 | channel);
                body += static_cast<char>(7);
                body += static_cast<char>(random(128));
                ++written;
            }
            int key = 40 + static_cast<int>(random(40));
            putVarLen(body, random(60));
            body += static_cast<char>(0x90 | channel);
            body += static_cast<char>(key);
            body += static_cast<char>(40 + random(80));
            putVarLen(body, 1 + random(240));
            body += static_cast<char>(key); // running status, velocity 0 ends the note
            body += static_cast<char>(0);
            written += 2;
        }
        body += std::string("\x00\xFF\x2F\x00", 4);
        ++written;
        events += written - 2;
        file += "MTrk";
        put32(file, static_cast<uint32_t>(body.size()));
        file += body;
    }
    return file;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double cpuMs(const struct rusage& r) {
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e3 +
           (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e3;
}

double processCpuMs() {
    struct timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Timing {
    double wall = -1;
    double cpu = -1;
};

// Wall and CPU milliseconds for one run of `args`, output to /dev/null; negative when it
// cannot run.
Timing timeProcess(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    auto start = Clock::now();
    pid_t pid;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return {};
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return {elapsed, cpuMs(usage)};
}

} // namespace

int main(int argc, char** argv) {
    int perTrack = argc > 1 ? std::atoi(argv[1]) : 40000;
    int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    long events = 0;
    std::string bytes = makeSong(perTrack, events);
    bool keep = argc > 3;
    std::string path = keep ? argv[3] : "/tmp/reedtab-bench-" + std::to_string(getpid()) + ".mid";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    } else {
        std::fprintf(stderr, "bench_model: cannot write %s\n", path.c_str());
        return 1;
    }
    double megabytes = static_cast<double>(bytes.size()) / 1e6;
    std::printf("file: %ld events in 16 tracks, %.2f MB (%s)\n", events, megabytes, path.c_str());

    // The machine may be shared, so CPU time (user + system) is measured beside wall time and
    // the ratio is taken from CPU time, which other processes disturb far less.
    std::vector<double> wall, cpu;
    size_t kept = 0;
    for (int i = 0; i < runs; ++i) {
        reedtab::MidiSong song;
        double cpuStart = processCpuMs();
        auto start = Clock::now();
        int result = song.loadFile(path);
        wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        cpu.push_back(processCpuMs() - cpuStart);
        if (result != 0) {
            std::fprintf(stderr, "bench_model: read failed with %d\n", result);
            return 1;
        }
        kept = 0;
        for (const auto& t : song.tracks)
            kept += t->size();
    }
    double ours = median(cpu);
    std::printf("read+pair: median of %d runs: %.1f ms CPU, %.1f ms wall: %.2f M events/s, "
                "%.1f MB/s (CPU) (%zu events kept)\n",
                runs, ours, median(wall), static_cast<double>(events) / ours / 1e3,
                megabytes / ours * 1e3, kept);

    std::vector<double> theirWall, theirCpu;
    for (int i = 0; i < runs; ++i) {
        Timing t = timeProcess({"midicsv", path});
        if (t.cpu < 0)
            break;
        theirWall.push_back(t.wall);
        theirCpu.push_back(t.cpu);
    }
    if (theirCpu.empty()) {
        std::printf("midicsv: not installed, no ratio\n");
    } else {
        double theirs = median(theirCpu);
        std::printf("midicsv to /dev/null: median of %zu runs: %.1f ms CPU, %.1f ms wall: "
                    "%.2f M events/s (CPU)\n",
                    theirCpu.size(), theirs, median(theirWall),
                    static_cast<double>(events) / theirs / 1e3);
        std::printf("ratio: %.2fx midicsv's speed by CPU time, %.2fx by wall time (target at "
                    "least 2x)\n",
                    theirs / ours, median(theirWall) / median(wall));
    }
    if (!keep)
        std::remove(path.c_str());
    return 0;
}

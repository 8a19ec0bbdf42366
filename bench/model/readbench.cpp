// Reads and pairs a large generated MIDI file and prints the median speed: first as a user pays
// it, one read in a fresh process (this program started again with --read-once, and
// reedtab-cli info when it is built beside it), side by side with midicsv on the same file, with
// each process's peak resident memory; then warm repeats inside this process, labelled so.
//
// usage: bench_model [EVENTS_PER_TRACK] [RUNS] [KEEP_PATH]
//        bench_model --read-once FILE
// With KEEP_PATH the generated file is written there and kept (for profiling by hand).

#include "densesong.h"
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
    double residentMb = -1;
};

// Wall and CPU milliseconds and peak resident megabytes for one run of `args`, output to
// /dev/null; negative when it cannot run.
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
    return {elapsed, cpuMs(usage), static_cast<double>(usage.ru_maxrss) / 1024};
}

struct ProcessFigures {
    double wall = -1;
    double cpu = -1;
    double residentMb = -1;
    std::vector<Timing> runs;
};

// Medians over `runs` fresh processes of each program, taken in rounds that start each program
// once, so that a change in the machine's load between them falls on all alike. A program
// that cannot run is left out (its figures negative).
std::vector<ProcessFigures> timeProcesses(const std::vector<std::vector<std::string>>& programs,
                                          int runs) {
    std::vector<ProcessFigures> figures(programs.size());
    std::vector<bool> runnable(programs.size(), true);
    for (int i = 0; i < runs; ++i) {
        for (size_t p = 0; p < programs.size(); ++p) {
            if (!runnable[p])
                continue;
            Timing t = timeProcess(programs[p]);
            if (t.cpu < 0)
                runnable[p] = false;
            else
                figures[p].runs.push_back(t);
        }
    }
    for (size_t p = 0; p < programs.size(); ++p) {
        if (!runnable[p]) {
            figures[p] = {};
            continue;
        }
        std::vector<double> wall, cpu, resident;
        for (const Timing& t : figures[p].runs) {
            wall.push_back(t.wall);
            cpu.push_back(t.cpu);
            resident.push_back(t.residentMb);
        }
        figures[p].wall = median(wall);
        figures[p].cpu = median(cpu);
        figures[p].residentMb = median(resident);
    }
    return figures;
}

// The median over the rounds of `theirs` / `ours`, by CPU time or by wall time.
double roundRatio(const ProcessFigures& theirs, const ProcessFigures& ours, bool byCpu) {
    std::vector<double> ratios;
    for (size_t i = 0; i < theirs.runs.size() && i < ours.runs.size(); ++i)
        ratios.push_back(byCpu ? theirs.runs[i].cpu / ours.runs[i].cpu
                               : theirs.runs[i].wall / ours.runs[i].wall);
    return ratios.empty() ? -1 : median(ratios);
}

std::string besideThisProgram(const std::string& relative) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {};
    std::string dir(self, static_cast<size_t>(n));
    dir.erase(dir.rfind('/'));
    std::string path = dir + "/" + relative;
    return access(path.c_str(), X_OK) == 0 ? path : std::string();
}

void printProcess(const char* label, const ProcessFigures& f) {
    std::printf("%-34s %7.1f ms CPU %7.1f ms wall %7.1f MB resident\n", label, f.cpu, f.wall,
                f.residentMb);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--read-once") {
        reedtab::MidiSong song;
        return song.loadFile(argv[2]) == reedtab::LoadOk ? 0 : 1;
    }
    int perTrack = argc > 1 ? std::atoi(argv[1]) : 40000;
    int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    long events = 0;
    std::string bytes = reedtab::bench::makeDenseFile(perTrack, events);
    bool keep = argc > 3;
    std::string path = keep ? argv[3] : "/tmp/reedtab-bench-" + std::to_string(getpid()) + ".mid";
    if (!reedtab::bench::writeBenchFile("bench_model", path, bytes))
        return 1;
    double megabytes = static_cast<double>(bytes.size()) / 1e6;
    std::printf("file: %ld events in 16 tracks, %.2f MB (%s)\n", events, megabytes, path.c_str());

    // The machine may be shared, so CPU time (user + system) is measured beside wall time and
    // the ratios are taken from CPU time, which other processes disturb far less.
    std::printf("cold: one read in a fresh process, medians of %d rounds of the programs in turn\n",
                runs);
    std::string cliPath = besideThisProgram("../../src/cli/reedtab-cli");
    std::vector<std::vector<std::string>> programs{
        {besideThisProgram("bench_model"), "--read-once", path}, {"midicsv", path, "/dev/null"}};
    if (!cliPath.empty())
        programs.push_back({cliPath, "info", path});
    std::vector<ProcessFigures> figures = timeProcesses(programs, runs);
    const ProcessFigures& ours = figures[0];
    const ProcessFigures& theirs = figures[1];
    ProcessFigures cli = cliPath.empty() ? ProcessFigures{} : figures[2];
    printProcess("  bench_model --read-once FILE", ours);
    if (cli.cpu > 0)
        printProcess("  reedtab-cli info FILE", cli);
    if (theirs.cpu < 0) {
        std::printf("  midicsv: not installed, no ratio\n");
    } else {
        printProcess("  midicsv FILE /dev/null", theirs);
        std::printf("cold ratio (median of the rounds' ratios): read %.2fx midicsv's speed by CPU "
                    "time (%.2fx by wall time)",
                    roundRatio(theirs, ours, true), roundRatio(theirs, ours, false));
        if (cli.cpu > 0)
            std::printf("; reedtab-cli info %.2fx (%.2fx by wall)", roundRatio(theirs, cli, true),
                        roundRatio(theirs, cli, false));
        std::printf("; target at least 2x\n");
    }
    std::printf("resident: %.1f MB for the read, %.1f MB for reedtab-cli info (target under "
                "100 MB)\n",
                ours.residentMb, cli.residentMb);

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
    double warm = median(cpu);
    std::printf("warm: read+pair repeated in one process: median of %d runs: %.1f ms CPU, %.1f ms "
                "wall: %.2f M events/s (%zu events kept)\n",
                runs, warm, median(wall), static_cast<double>(events) / warm / 1e3, kept);
    if (theirs.cpu > 0)
        std::printf("warm ratio: %.2fx midicsv's cold process by CPU time\n", theirs.cpu / warm);
    if (!keep)
        std::remove(path.c_str());
    return 0;
}

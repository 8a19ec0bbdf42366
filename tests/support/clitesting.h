#pragma once

// Running reedtab-cli as a process from a test: its exit status and both output streams.
// REEDTAB_CLI and REEDTAB_BINARY_DIR come from the test's compile definitions.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "testfolder.h"

#include <gtest/gtest.h>

namespace reedtab::testing {

/// The whole content of a file; empty when it cannot be read.
inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// An emptied folder build/test-scratch/GROUP/<test>/NAME for the running test.
inline std::string scratchFolder(const std::string& group, const std::string& name) {
    auto dir =
        std::filesystem::path(REEDTAB_BINARY_DIR) / "test-scratch" / group / testFolder() / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

/// Runs reedtab-cli with ARGUMENTS (already quoted for the shell) and collects what it did.
inline CliRun runCli(const std::string& group, const std::string& arguments) {
    const std::string dir = scratchFolder(group, "run");
    const std::string command = std::string("'") + REEDTAB_CLI + "' " + arguments + " >'" + dir +
                                "/out' 2>'" + dir + "/err'";
    CliRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = slurp(dir + "/out");
    run.err = slurp(dir + "/err");
    return run;
}

} // namespace reedtab::testing

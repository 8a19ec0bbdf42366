#include "cli/args.h"
#include "cli/complete.h"
#include "reedtab/version.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace reedtab::cli {

namespace {
std::map<std::string, Command>& table() {
    static std::map<std::string, Command> commands;
    return commands;
}

void printUsage(FILE* out) {
    std::fprintf(out, "usage: reedtab-cli COMMAND [ARGS]\n\ncommands:\n");
    for (const auto& [name, command] : table())
        std::fprintf(out, "  %-10s %s\n", name.c_str(), command.summary);
    std::fprintf(out, "\n'reedtab-cli COMMAND --help' describes one command;\n"
                      "'reedtab-cli --version' prints the version.\n");
}
} // namespace

bool registerCommand(const Command& command) {
    table().emplace(command.name, command);
    return true;
}

} // namespace reedtab::cli

int main(int argc, char** argv) {
    using namespace reedtab::cli;
    if (argc < 2) {
        printUsage(stderr);
        return kUsageError;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("reedtab-cli %s\n", reedtab::kVersion);
        return 0;
    }
    if (name == "--complete") {
        return complete(table(), std::vector<std::string>(argv + 2, argv + argc));
    }
    auto it = table().find(name);
    if (it == table().end()) {
        std::fprintf(stderr, "reedtab-cli: unknown command \"%s\" (try --help)\n", name.c_str());
        return kUsageError;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& word : args) {
        if (word == "--help" || word == "-h") {
            std::fputs(it->second.help, stdout);
            return 0;
        }
    }
    return it->second.run(args);
}

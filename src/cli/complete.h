#pragma once

// What the shell completion asks of reedtab-cli (`reedtab-cli --complete ...`): the commands,
// the options of a command as its --help shows them, and the built-in tuning names. Taken from
// the program itself, so that a new command, option or tuning completes with no change to the
// completion script.

#include "cli/args.h"

#include <map>
#include <string>
#include <vector>

namespace reedtab::cli {

/// One option of a command's help: "--key" with its value placeholder ("N"), or "" for a flag.
struct HelpOption {
    std::string name;
    std::string value;

    friend bool operator==(const HelpOption&, const HelpOption&) = default;
};

/// The options a help text names (words starting with "-" and a letter, at the start of a
/// word, after "[", "|" or "(", not ending in "-"), each once, in the order of their first
/// mention; the value is the word after the first mention when it follows a single space and
/// is no option.
std::vector<HelpOption> helpOptions(const std::string& help);

/// Answers `reedtab-cli --complete WHAT...` on stdout: "commands", "options COMMAND" (one
/// "NAME[ VALUE]" line each) or "tunings diatonic|chromatic". 0, or kUsageError for a question
/// it does not know.
int complete(const std::map<std::string, Command>& commands, const std::vector<std::string>& what);

} // namespace reedtab::cli

#pragma once

#include <optional>
#include <string>
#include <vector>

namespace reedtab::cli {

/// Exit status for a command line the command cannot understand.
inline constexpr int kUsageError = 2;

/// One command of reedtab-cli. `run` gets the words after the command name.
struct Command {
    const char* name;
    const char* summary;
    const char* help;
    int (*run)(const std::vector<std::string>& args);
};

/// Adds a command to the table; called from a static initialiser in each cmd_*.cpp.
bool registerCommand(const Command& command);

/// A small option reader: flags and valued options are taken out by name, what remains is
/// positional. Anything left that starts with "--" is an unknown option.
class Args {
public:
    explicit Args(std::vector<std::string> words) : words_(std::move(words)) {}

    /// True (and removed) when the flag is present.
    bool flag(const std::string& name);
    /// The value after the option (both removed); nullopt when absent. A missing value
    /// records an error.
    std::optional<std::string> option(const std::string& name);
    /// An integer option; records an error for text that is not a whole number.
    std::optional<long> intOption(const std::string& name);
    /// A decimal number option ("442", "-12.5"); records an error for anything else.
    std::optional<double> numberOption(const std::string& name);
    /// The remaining words; records an error for unknown options.
    std::vector<std::string> positionals();

    bool hasError() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

private:
    std::vector<std::string> words_;
    std::string error_;
};

/// Parses a whole decimal number (optional sign); nullopt for anything else.
std::optional<long> parseInt(const std::string& text);

/// `text` as a JSON string literal, quotes included.
std::string jsonString(const std::string& text);

/// Prints "reedtab-cli NAME: MESSAGE" on stderr and returns kUsageError.
int usageError(const char* command, const std::string& message);

} // namespace reedtab::cli

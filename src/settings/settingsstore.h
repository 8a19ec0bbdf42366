#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace reedtab {

/// The per-user key-value store behind the settings block and the window state: integer and
/// string values addressed by section and key.
///
/// Keys and section names are matched without regard to ASCII case: a value written as
/// "PlayLoop" is found again as "playLoop". Writing a key in another case replaces the value.
/// A store never fails loudly: a value that is missing or cannot be read as the requested type
/// comes back as std::nullopt and the caller uses its default.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    /// The whole decimal number stored under section/key (an optional sign, then digits, fitting
    /// in 32 bits); nullopt when the key is missing or holds anything else.
    virtual std::optional<int> readInt(const std::string& section,
                                       const std::string& key) const = 0;
    /// The text stored under section/key; an integer value reads as its decimal text.
    virtual std::optional<std::string> readString(const std::string& section,
                                                  const std::string& key) const = 0;
    virtual void writeInt(const std::string& section, const std::string& key, int value) = 0;
    virtual void writeString(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
};

/// Orders strings without regard to ASCII case; the key order of every store.
struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

/// Parses a whole decimal number that fits in an int ("-12", "+7", "400"); nullopt for empty
/// text, blanks, trailing characters or overflow. Shared by the stores so they agree on what
/// counts as an integer value.
std::optional<int> parseStoredInt(const std::string& text);

/// A store held in memory, for tests and for running the engine without a settings file.
/// Values are kept as text, as an INI file keeps them.
class MemorySettingsStore : public SettingsStore {
public:
    std::optional<int> readInt(const std::string& section, const std::string& key) const override;
    std::optional<std::string> readString(const std::string& section,
                                          const std::string& key) const override;
    void writeInt(const std::string& section, const std::string& key, int value) override;
    void writeString(const std::string& section, const std::string& key,
                     const std::string& value) override;

    /// Number of keys stored in the section (0 when the section does not exist).
    std::size_t keyCount(const std::string& section) const;

private:
    using Section = std::map<std::string, std::string, CaseInsensitiveLess>;
    std::map<std::string, Section, CaseInsensitiveLess> sections_;
};

/// The program's settings file: "Reedtab Software/Reedtab.conf" in the user's config folder
/// ($XDG_CONFIG_HOME when it is an absolute path, else ~/.config); empty when neither that
/// variable nor HOME says where the folder is.
std::string userSettingsFile();

/// Reads the INI file at `path` into `store` the way the program's own store reads it, so that
/// the Qt-free tools see the user's settings: "[section]" lines and "key=value" lines, with the
/// toolkit's escapes undone ("%20" and "%U0101" in section and key names; quoted values,
/// backslash escapes and comma-separated lists, joined again by commas, in values; a leading
/// "@@" for "@"). A ';' outside quotes starts a comment that runs to the end of the line; a
/// line without '=' is skipped. False, with the store untouched, when the file cannot be read
/// or is larger than 16 MB.
bool readIniFile(const std::string& path, MemorySettingsStore& store);
/// Reads the text of such a file into `store`, as `readIniFile` does.
void readIniText(std::string_view text, MemorySettingsStore& store);

} // namespace reedtab

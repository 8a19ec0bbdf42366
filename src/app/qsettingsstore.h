#pragma once

#include "settings/settingsstore.h"

#include <QString>

#include <memory>

class QSettings;

namespace reedtab {

/// The program's settings store: an INI file in the user's config folder
/// ("Reedtab Software/Reedtab.conf"), one group per section. Keys and sections are matched
/// without regard to case, whatever case the file holds them in. A missing, unreadable or
/// garbled file reads as empty, so every caller gets its defaults. GUI thread only.
class QSettingsStore : public SettingsStore {
public:
    /// The per-user store of organisation "Reedtab Software", application "Reedtab".
    QSettingsStore();
    /// A store in the INI file `path` (tests, or a store chosen by the user).
    explicit QSettingsStore(const QString& path);
    ~QSettingsStore() override;

    std::optional<int> readInt(const std::string& section, const std::string& key) const override;
    std::optional<std::string> readString(const std::string& section,
                                          const std::string& key) const override;
    void writeInt(const std::string& section, const std::string& key, int value) override;
    void writeString(const std::string& section, const std::string& key,
                     const std::string& value) override;

    /// Writes pending changes to the file.
    void sync();
    /// The file behind the store.
    QString fileName() const;

private:
    QString findKey(const std::string& section, const std::string& key) const;
    void write(const std::string& section, const std::string& key, const QVariant& value);

    std::unique_ptr<QSettings> settings_;
};

} // namespace reedtab

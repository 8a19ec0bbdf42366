#include "app/qsettingsstore.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace reedtab {

namespace {

QString matching(const QStringList& names, const QString& wanted) {
    if (names.contains(wanted)) {
        return wanted;
    }
    for (const auto& name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
            return name;
        }
    }
    return {};
}

} // namespace

// The file is named explicitly: Qt's own INI location would end in ".ini".
QSettingsStore::QSettingsStore()
    : QSettingsStore(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                     QStringLiteral("/Reedtab Software/Reedtab.conf")) {}

QSettingsStore::QSettingsStore(const QString& path)
    : settings_(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

QSettingsStore::~QSettingsStore() = default;

// The full QSettings key ("Group/key") under which the file holds section/key, in the file's
// own case; empty when it holds no such key.
QString QSettingsStore::findKey(const std::string& section, const std::string& key) const {
    const QString group = matching(settings_->childGroups(), QString::fromStdString(section));
    if (group.isEmpty()) {
        return {};
    }
    settings_->beginGroup(group);
    const QString name = matching(settings_->childKeys(), QString::fromStdString(key));
    settings_->endGroup();
    if (name.isEmpty()) {
        return {};
    }
    return group + QLatin1Char('/') + name;
}

std::optional<std::string> QSettingsStore::readString(const std::string& section,
                                                      const std::string& key) const {
    const QString full = findKey(section, key);
    if (full.isEmpty()) {
        return std::nullopt;
    }
    const QVariant value = settings_->value(full);
    // An unquoted comma in a hand-edited file makes the INI reader split the value.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(',')).toStdString();
    }
    if (!value.canConvert<QString>()) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

std::optional<int> QSettingsStore::readInt(const std::string& section,
                                           const std::string& key) const {
    const auto text = readString(section, key);
    if (!text) {
        return std::nullopt;
    }
    return parseStoredInt(*text);
}

void QSettingsStore::write(const std::string& section, const std::string& key,
                           const QVariant& value) {
    QString group = matching(settings_->childGroups(), QString::fromStdString(section));
    if (group.isEmpty()) {
        group = QString::fromStdString(section);
    }
    const QString name = QString::fromStdString(key);
    settings_->beginGroup(group);
    // The key may be in the file in another case; one entry per key, under the new spelling.
    for (const auto& existing : settings_->childKeys()) {
        if (existing != name && existing.compare(name, Qt::CaseInsensitive) == 0) {
            settings_->remove(existing);
        }
    }
    settings_->setValue(name, value);
    settings_->endGroup();
}

void QSettingsStore::writeInt(const std::string& section, const std::string& key, int value) {
    write(section, key, value);
}

void QSettingsStore::writeString(const std::string& section, const std::string& key,
                                 const std::string& value) {
    write(section, key, QString::fromStdString(value));
}

void QSettingsStore::sync() {
    settings_->sync();
}

QString QSettingsStore::fileName() const {
    return settings_->fileName();
}

} // namespace reedtab

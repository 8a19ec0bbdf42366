#include "app/qsettingsstore.h"
#include "settings/settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace reedtab {
namespace {

class QSettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray readFile(const QString& name) const {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }

    QTemporaryDir dir;
};

TEST_F(QSettingsStoreTest, UserStoreLivesInTheCompanyFolder) {
    {
        QSettingsStore store;
        store.writeInt("Settings", "tabMode", 2);
        store.sync();
        EXPECT_EQ(store.fileName(), path("Reedtab Software/Reedtab.conf"));
    }
    EXPECT_TRUE(QFile::exists(path("Reedtab Software/Reedtab.conf")));
    QSettingsStore again;
    EXPECT_EQ(again.readInt("Settings", "tabMode"), 2);
}

TEST_F(QSettingsStoreTest, ValuesRoundTripThroughTheFile) {
    {
        QSettingsStore store(path("a.conf"));
        store.writeInt("Version 3.1", "x1", -32);
        store.writeString("Version 3.1", "DiatonicTuning", "/home/me/tunings/my, own.tun");
        store.writeString("Settings", "fontTabFaceName", " DejaVu Sans ");
        store.writeString("Settings", "midiInDeviceStr", "");
    }
    QSettingsStore store(path("a.conf"));
    EXPECT_EQ(store.readInt("Version 3.1", "x1"), -32);
    EXPECT_EQ(store.readString("Version 3.1", "DiatonicTuning"), "/home/me/tunings/my, own.tun");
    EXPECT_EQ(store.readString("Settings", "fontTabFaceName"), " DejaVu Sans ");
    EXPECT_EQ(store.readString("Settings", "midiInDeviceStr"), "");
    EXPECT_EQ(store.readString("Settings", "missing"), std::nullopt);
    EXPECT_EQ(store.readInt("Nowhere", "x1"), std::nullopt);
}

// The Qt-free reader of the command-line tools sees what the program's store wrote, however
// the toolkit had to escape it.
TEST_F(QSettingsStoreTest, TheQtFreeReaderSeesWhatTheStoreWrote) {
    const std::vector<std::pair<std::string, std::string>> values = {
        {"plain", "Major Diatonic (Richter)@0|Hohner 365@9"},
        {"leadingBlank", " 8 Hole Chromatic (std 32)@2|Koch/Slide (ritcher tuned)@6"},
        {"separators", "a;b,c=d"},
        {"quotes", "say \"hi\" \\ bye"},
        {"at", "@home"},
        {"controls", "tab\tline\nend\x01"
                     "9"},
        {"utf8", "Negra Sombra \xc3\xa1\xe2\x98\xba"},
        {"trailing", "blank "},
        {"empty", ""},
    };
    {
        QSettingsStore store(path("a.conf"));
        for (const auto& [key, value] : values) {
            store.writeString("Settings", key, value);
        }
        store.writeInt("Version 3.1", "Mon3.x1", -32);
        store.writeString("Version 3.1", "Odd key/%x", "v");
        store.sync();
    }
    MemorySettingsStore read;
    ASSERT_TRUE(readIniFile(path("a.conf").toStdString(), read));
    for (const auto& [key, value] : values) {
        EXPECT_EQ(read.readString("Settings", key), value) << key << " in\n"
                                                           << readFile("a.conf").toStdString();
    }
    EXPECT_EQ(read.readInt("Version 3.1", "Mon3.x1"), -32);
    EXPECT_EQ(read.readString("Version 3.1", "Odd key/%x"), "v");
}

TEST_F(QSettingsStoreTest, KeysAndSectionsMatchWithoutRegardToCase) {
    writeFile("case.conf", "[SETTINGS]\nPLAYLOOP=1\nColorBlow=255\n");
    QSettingsStore store(path("case.conf"));
    EXPECT_EQ(store.readInt("Settings", "playLoop"), 1);
    EXPECT_EQ(store.readInt("settings", "colorblow"), 255);

    store.writeInt("Settings", "playLoop", 0);
    store.sync();
    EXPECT_EQ(store.readInt("Settings", "PlayLoop"), 0);
    const QByteArray bytes = readFile("case.conf");
    EXPECT_FALSE(bytes.contains("PLAYLOOP")) << bytes.constData();
    EXPECT_TRUE(bytes.contains("playLoop=0")) << bytes.constData();
}

TEST_F(QSettingsStoreTest, NonNumbersAreNoIntegers) {
    writeFile("n.conf", "[Settings]\ntabMode=two\nfontTabHeight=-12px\nprintBeatsPerLine=\n");
    QSettingsStore store(path("n.conf"));
    EXPECT_EQ(store.readInt("Settings", "tabMode"), std::nullopt);
    EXPECT_EQ(store.readString("Settings", "tabMode"), "two");
    EXPECT_EQ(store.readInt("Settings", "fontTabHeight"), std::nullopt);
    EXPECT_EQ(store.readInt("Settings", "printBeatsPerLine"), std::nullopt);
}

TEST_F(QSettingsStoreTest, SettingsBlockRoundTripsColoursAsRedGreenBlue) {
    Settings written;
    written.tabMode = 3;
    written.playLoop = true;
    written.fontLyricsBg = Rgb{10, 20, 30};
    written.fontLyrics.faceName = "Liberation Serif";
    {
        QSettingsStore store(path("block.conf"));
        saveSettings(store, kSaveAll, written);
    }
    EXPECT_TRUE(readFile("block.conf").contains("fontLyricsBg=1971210"));
    QSettingsStore store(path("block.conf"));
    Settings read;
    loadSettings(store, read);
    EXPECT_EQ(read.tabMode, 3);
    EXPECT_TRUE(read.playLoop);
    EXPECT_EQ(read.fontLyricsBg, (Rgb{10, 20, 30}));
    EXPECT_EQ(read.fontLyrics.faceName, "Liberation Serif");
}

TEST_F(QSettingsStoreTest, MissingUnreadableOrGarbageFileGivesDefaults) {
    const Settings defaults;
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage.append(static_cast<char>((i * 7919 + 13) % 256));
    }
    writeFile("garbage.conf", garbage);
    writeFile("half.conf", "[Settings\ntabMode=\x01\x02\n=7\n[]\nplayLoop\n");
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.conf"));

    for (const char* name : {"missing.conf", "garbage.conf", "half.conf", "folder.conf"}) {
        QSettingsStore store(path(name));
        Settings read;
        loadSettings(store, read);
        EXPECT_EQ(read.tabMode, defaults.tabMode) << name;
        EXPECT_EQ(read.playLoop.load(), defaults.playLoop.load()) << name;
        EXPECT_EQ(read.fontTab, defaults.fontTab) << name;
        EXPECT_EQ(read.colorPlayed, defaults.colorPlayed) << name;
        EXPECT_EQ(read.midiOutDeviceStr, defaults.midiOutDeviceStr) << name;
    }
}

} // namespace
} // namespace reedtab

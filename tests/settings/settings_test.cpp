#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <unistd.h>

namespace reedtab {
namespace {

const char* const S = kSettingsSection;

TEST(MemoryStore, KeysAndSectionsMatchWithoutRegardToCase) {
    MemorySettingsStore store;
    store.writeInt("Settings", "PlayLoop", 1);
    EXPECT_EQ(store.readInt("settings", "playloop"), 1);
    EXPECT_EQ(store.readInt("SETTINGS", "playLoop"), 1);
    store.writeInt("settings", "PLAYLOOP", 0);
    EXPECT_EQ(store.readInt("Settings", "PlayLoop"), 0);
    EXPECT_EQ(store.keyCount("Settings"), 1u);
    EXPECT_FALSE(store.readInt("Settings", "playLoo"));
    EXPECT_FALSE(store.readInt("Other", "playLoop"));
}

TEST(MemoryStore, IntegersAreWholeNumbersOnly) {
    MemorySettingsStore store;
    for (const char* bad : {"", " 1", "1 ", "abc", "12abc", "+-1", "--1", "0x10", "1.5",
                            "4294967296", "-2147483649", "-", "+"}) {
        store.writeString(S, "k", bad);
        EXPECT_FALSE(store.readInt(S, "k")) << '"' << bad << '"';
    }
    store.writeString(S, "k", "+7");
    EXPECT_EQ(store.readInt(S, "k"), 7);
    store.writeString(S, "k", "-2147483648");
    EXPECT_EQ(store.readInt(S, "k"), -2147483648);
    store.writeInt(S, "k", 16777088);
    EXPECT_EQ(store.readString(S, "k"), "16777088");
}

// An INI file of `text` in a folder of its own under the system's temporary folder.
std::string iniFile(const std::string& text) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("reedtab-settings-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto path = dir / "Reedtab.conf";
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

TEST(IniFile, ReadsSectionsKeysAndValuesAsTheProgramsStoreWritesThem) {
    const std::string path = iniFile("; written by hand\n"
                                     "[Settings]\n"
                                     "tabMode=2\n"
                                     "myHarps=Major Diatonic (Richter)@0|Hohner 365@9\n"
                                     "fontTabFaceName=\" DejaVu Sans \"\n"
                                     "quoted=\"a;b, c\"  ; a comment\n"
                                     "list=one, two ,three\n"
                                     "escapes=tab\\there\\\\back\\\"q\\x41\\101\\x263a\n"
                                     "at=@@home\n"
                                     "empty=\n"
                                     "spaced = value with trailing blanks   \n"
                                     "multi=\"line one\nline two\"\n"
                                     "no equals sign\n"
                                     "\r\n"
                                     "[Version%203.1]\r\n"
                                     "Mon3.x1=-32\r\n"
                                     "DiatonicTuning=/home/me/my%20tuning.tun\r\n"
                                     "k%U00e9y=unicode name\n");
    MemorySettingsStore store;
    ASSERT_TRUE(readIniFile(path, store));
    EXPECT_EQ(store.readInt("Settings", "tabMode"), 2);
    EXPECT_EQ(store.readString("settings", "MYHARPS"), "Major Diatonic (Richter)@0|Hohner 365@9");
    EXPECT_EQ(store.readString(S, "fontTabFaceName"), " DejaVu Sans ");
    EXPECT_EQ(store.readString(S, "quoted"), "a;b, c");
    EXPECT_EQ(store.readString(S, "list"), "one,two,three");
    EXPECT_EQ(store.readString(S, "escapes"), "tab\there\\back\"qAA\u263a");
    EXPECT_EQ(store.readString(S, "at"), "@home");
    EXPECT_EQ(store.readString(S, "empty"), "");
    EXPECT_EQ(store.readString(S, "spaced"), "value with trailing blanks");
    EXPECT_EQ(store.readString(S, "multi"), "line one\nline two");
    EXPECT_EQ(store.keyCount(S), 10u);
    EXPECT_EQ(store.readInt("Version 3.1", "Mon3.x1"), -32);
    EXPECT_EQ(store.readString("Version 3.1", "DiatonicTuning"), "/home/me/my%20tuning.tun");
    EXPECT_EQ(store.readString("Version 3.1", "k\u00e9y"), "unicode name");

    Settings block;
    loadSettings(store, block);
    EXPECT_EQ(block.tabMode, 2);
    EXPECT_EQ(block.myHarps,
              (std::vector<OwnedHarp>{{"Major Diatonic (Richter)", 0}, {"Hohner 365", 9}}));

    MemorySettingsStore untouched;
    EXPECT_FALSE(readIniFile(path + ".missing", untouched));
    EXPECT_EQ(untouched.keyCount(S), 0u);
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

TEST(IniFile, TheUsersFileLivesInTheConfigFolder) {
    const auto saved = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto restore = [](const char* name, const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    };
    const auto config = saved("XDG_CONFIG_HOME");
    const auto home = saved("HOME");
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(userSettingsFile(), "/tmp/cfg/Reedtab Software/Reedtab.conf");
    ::setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    ::setenv("HOME", "/home/me", 1);
    EXPECT_EQ(userSettingsFile(), "/home/me/.config/Reedtab Software/Reedtab.conf");
    ::unsetenv("HOME");
    EXPECT_EQ(userSettingsFile(), "");
    restore("XDG_CONFIG_HOME", config);
    restore("HOME", home);
}

TEST(SettingsLoad, EmptyStoreGivesEveryDefault) {
    MemorySettingsStore store;
    Settings block;
    block.tabMode = 3;
    loadSettings(store, block);
    EXPECT_EQ(block.tabMode, 3) << "a missing key leaves the field alone";

    Settings fresh;
    loadSettings(store, fresh);
    EXPECT_EQ(fresh.tabMode, 0);
    EXPECT_EQ(fresh.tabStaffSpace, 1);
    EXPECT_EQ(fresh.fontTab, (FontSpec{"Arial", -12, 400, false}));
    EXPECT_EQ(fresh.fontText, (FontSpec{"Arial", -12, 400, false}));
    EXPECT_EQ(fresh.fontLyrics, (FontSpec{"Arial", -16, 700, false}));
    EXPECT_EQ(fresh.fontLyricsTxt, (Rgb{0, 0, 0}));
    EXPECT_EQ(fresh.fontLyricsBg, (Rgb{128, 255, 255}));
    EXPECT_EQ(std::string({fresh.dblowSym, fresh.ddrawSym, fresh.dbendSym, fresh.doverSym}),
              "+-'o");
    EXPECT_EQ(std::string({fresh.cblowSym, fresh.cdrawSym, fresh.cslideSym}), "+-<");
    EXPECT_EQ(fresh.colorSelect, (Rgb{160, 192, 192}));
    EXPECT_EQ(fresh.colorPlaySel, (Rgb{64, 128, 128}));
    EXPECT_EQ(fresh.colorPlayed, (Rgb{0, 192, 255}));
    EXPECT_EQ(fresh.colorNormal1, (Rgb{64, 255, 64}));
    EXPECT_EQ(fresh.colorNormal2, (Rgb{192, 192, 128}));
    EXPECT_EQ(fresh.colorDimmed, (Rgb{230, 230, 230}));
    EXPECT_EQ(fresh.colorBlow, (Rgb{0, 255, 0}));
    EXPECT_EQ(fresh.colorDraw, (Rgb{0, 192, 0}));
    EXPECT_EQ(fresh.colorOver, (Rgb{255, 0, 0}));
    EXPECT_EQ(fresh.colorBend, (Rgb{240, 240, 0}));
    EXPECT_EQ(fresh.colorBlowChro, (Rgb{0, 255, 0}));
    EXPECT_EQ(fresh.colorDrawChro, (Rgb{0, 192, 0}));
    EXPECT_EQ(fresh.colorBlowSlide, (Rgb{96, 224, 32}));
    EXPECT_EQ(fresh.colorDrawSlide, (Rgb{96, 160, 32}));
    EXPECT_FALSE(fresh.playMetronome);
    EXPECT_FALSE(fresh.playCountIn);
    EXPECT_FALSE(fresh.playLoop);
    EXPECT_FALSE(fresh.offsetsharpsflats);
    EXPECT_TRUE(fresh.showPitchBends);
    EXPECT_FALSE(fresh.showDrumsNotes);
    EXPECT_FALSE(fresh.editSnap);
    EXPECT_FALSE(fresh.changeExpr2Vol);
    EXPECT_FALSE(fresh.sendMidiSt);
    EXPECT_FALSE(fresh.skipPrgChange);
    EXPECT_EQ(fresh.midiOutDeviceStr, "Midi Mapper");
    EXPECT_EQ(fresh.midiInDeviceStr, "");
    EXPECT_EQ(fresh.printTabSpace, 0);
    EXPECT_TRUE(fresh.printTrebleClef);
    EXPECT_FALSE(fresh.printBassClef);
    EXPECT_FALSE(fresh.printNoColorBars);
    EXPECT_EQ(fresh.printBeatsPerLine, 16);
    EXPECT_EQ(fresh.autosaveSeconds, 60);
    EXPECT_EQ(fresh.outputDeviceIndex, -1);
    EXPECT_EQ(fresh.inputDeviceIndex, -1);
}

TEST(SettingsLoad, StoredValuesAreRead) {
    MemorySettingsStore store;
    store.writeInt(S, "TABMODE", 2);
    store.writeInt(S, "musicNoteType", 4);
    store.writeString(S, "fontTabFaceName", "DejaVu Sans");
    store.writeInt(S, "fontTabHeight", -20);
    store.writeInt(S, "fontTabWeight", 700);
    store.writeInt(S, "fontTabItalic", 1);
    store.writeInt(S, "fontLyricsBg", 255 + 256 * 1 + 65536 * 2);
    store.writeInt(S, "dbendSym", 'b');
    store.writeInt(S, "colorOver", 0x123456);
    store.writeInt(S, "playLoop", 1);
    store.writeInt(S, "showPitchBends", 0);
    store.writeString(S, "midiOutDeviceStr", "Port B");
    store.writeInt(S, "printBeatsPerLine", 48);
    store.writeInt(S, "autosaveSeconds", 0);
    Settings block;
    loadSettings(store, block);
    EXPECT_EQ(block.autosaveSeconds, 0) << "0 turns the recovery file off";
    EXPECT_EQ(block.tabMode, 2);
    EXPECT_EQ(block.musicNoteType, 4);
    EXPECT_EQ(block.fontTab, (FontSpec{"DejaVu Sans", -20, 700, true}));
    EXPECT_EQ(block.fontLyricsBg, (Rgb{255, 1, 2}));
    EXPECT_EQ(block.dbendSym, 'b');
    EXPECT_EQ(block.colorOver, (Rgb{0x56, 0x34, 0x12}));
    EXPECT_TRUE(block.playLoop);
    EXPECT_FALSE(block.showPitchBends);
    EXPECT_EQ(block.midiOutDeviceStr, "Port B");
    EXPECT_EQ(block.printBeatsPerLine, 48);
}

TEST(SettingsLoad, WrongTypeOrOutOfRangeGivesTheDefault) {
    MemorySettingsStore store;
    store.writeString(S, "tabMode", "Diatonic");
    store.writeInt(S, "musicNoteType", 5);
    store.writeInt(S, "fontTabHeight", 100000);
    store.writeInt(S, "fontTabWeight", -1);
    store.writeInt(S, "fontTabItalic", 2);
    store.writeString(S, "fontTextFaceName", "");
    store.writeInt(S, "fontLyricsBg", 0x1000000);
    store.writeInt(S, "fontLyricsTxt", -1);
    store.writeInt(S, "dblowSym", 32);
    store.writeInt(S, "ddrawSym", 300);
    store.writeString(S, "doverSym", "o");
    store.writeInt(S, "playLoop", 7);
    store.writeString(S, "showPitchBends", "yes");
    store.writeInt(S, "printBeatsPerLine", 0);
    store.writeInt(S, "tabStaffSpace", -3);
    store.writeInt(S, "concertPitch", 460);
    store.writeInt(S, "listenTolerance", 5);
    store.writeInt(S, "listenOffsetMs", 501);
    store.writeInt(S, "autosaveSeconds", -1);
    Settings block;
    loadSettings(store, block);
    const Settings defaults;
    EXPECT_EQ(block.tabMode, defaults.tabMode);
    EXPECT_EQ(block.musicNoteType, 0);
    EXPECT_EQ(block.fontTab, defaults.fontTab);
    EXPECT_EQ(block.fontText.faceName, "Arial");
    EXPECT_EQ(block.fontLyricsBg, defaults.fontLyricsBg);
    EXPECT_EQ(block.fontLyricsTxt, defaults.fontLyricsTxt);
    EXPECT_EQ(block.dblowSym, '+');
    EXPECT_EQ(block.ddrawSym, '-');
    EXPECT_EQ(block.doverSym, 'o');
    EXPECT_FALSE(block.playLoop);
    EXPECT_TRUE(block.showPitchBends);
    EXPECT_EQ(block.printBeatsPerLine, 16);
    EXPECT_EQ(block.tabStaffSpace, 1);
    EXPECT_EQ(block.concertPitch, 440);
    EXPECT_EQ(block.listenTolerance, 30);
    EXPECT_EQ(block.listenOffsetMs, 0);
    EXPECT_EQ(block.autosaveSeconds, 60);
}

TEST(SettingsLoad, LongFaceNamesAreCutTo31Characters) {
    MemorySettingsStore store;
    store.writeString(S, "fontLyricsFaceName", std::string(200, 'x'));
    Settings block;
    loadSettings(store, block);
    EXPECT_EQ(block.fontLyrics.faceName, std::string(31, 'x'));
}

TEST(SettingsLoad, MyHarpsKeepOnlyWellFormedEntriesOnce) {
    MemorySettingsStore store;
    const std::string longName(64, 'n');
    store.writeString(S, "myHarps",
                      "Major Diatonic (Richter)@0| 8 Hole Chromatic (std 32)@11|Hohner 365@12|"
                      "Hohner 365@-1|Hohner 365@x|@3|no key|Major Diatonic (Richter)@0||"
                      "Mail@home@9|" +
                          longName + "@1|" + longName.substr(1) + "@2");
    Settings block;
    loadSettings(store, block);
    const std::vector<OwnedHarp> expected = {{"Major Diatonic (Richter)", 0},
                                             {" 8 Hole Chromatic (std 32)", 11},
                                             {"Mail@home", 9},
                                             {longName.substr(1), 2}};
    EXPECT_EQ(block.myHarps, expected);

    // At most kMaxOwnedHarps are kept; an empty text is no harps.
    std::string many;
    for (std::size_t k = 0; k < kMaxOwnedHarps + 10; ++k) {
        many += "T" + std::to_string(k) + "@" + std::to_string(k % 12) + "|";
    }
    store.writeString(S, "myHarps", many);
    loadSettings(store, block);
    EXPECT_EQ(block.myHarps.size(), kMaxOwnedHarps);
    EXPECT_EQ(block.myHarps.back(), (OwnedHarp{"T511", 511 % 12}));
    store.writeString(S, "myHarps", "");
    loadSettings(store, block);
    EXPECT_TRUE(block.myHarps.empty());
}

TEST(SettingsSave, AllGroupsRoundTrip) {
    Settings block;
    block.tabMode = 1;
    block.musicNoteType = 2;
    block.fontTab = {"Liberation Serif", -14, 300, true};
    block.fontText = {"Mono", 10, 500, false};
    block.fontLyrics = {"Sans", -30, 900, true};
    block.fontLyricsTxt = {1, 2, 3};
    block.fontLyricsBg = {250, 251, 252};
    block.dblowSym = 'B';
    block.ddrawSym = 'D';
    block.dbendSym = '~';
    block.doverSym = '*';
    block.cblowSym = 'b';
    block.cdrawSym = 'd';
    block.cslideSym = '>';
    block.playMetronome = true;
    block.playCountIn = true;
    block.playLoop = true;
    block.offsetsharpsflats = true;
    block.showPitchBends = false;
    block.showDrumsNotes = true;
    block.editSnap = true;
    block.changeExpr2Vol = true;
    block.sendMidiSt = true;
    block.skipPrgChange = true;
    block.printTrebleClef = false;
    block.printBassClef = true;
    block.printNoColorBars = true;
    block.printBeatsPerLine = 7;
    block.midiOutDeviceStr = "B";
    block.midiInDeviceStr = "Keys";
    block.soundFont = "/opt/fonts/Grand Piano.sf2";
    block.myHarps = {{"Major Diatonic (Richter)", 9}, {" 8 Hole Chromatic (std 32)", 0}};
    block.listenInput = "Jack: system";
    block.concertPitch = 443;
    block.listenTolerance = 45;
    block.listenOffsetMs = -35;
    block.listenWait = true;
    block.colorHit = {1, 2, 3};
    block.colorWrong = {4, 5, 6};
    block.colorMissed = {7, 8, 9};
    block.colorHeard = {10, 11, 12};
    resolveDevices({"Midi Mapper", "A", "B"}, {"Pads", "Keys"}, block);

    MemorySettingsStore store;
    saveSettings(store, kSaveAll, block);
    Settings back;
    loadSettings(store, back);
    EXPECT_EQ(back.tabMode, 1);
    EXPECT_EQ(back.musicNoteType, 2);
    EXPECT_EQ(back.fontTab, block.fontTab);
    EXPECT_EQ(back.fontText, block.fontText);
    EXPECT_EQ(back.fontLyrics, block.fontLyrics);
    EXPECT_EQ(back.fontLyricsTxt, block.fontLyricsTxt);
    EXPECT_EQ(back.fontLyricsBg, block.fontLyricsBg);
    EXPECT_EQ(std::string({back.dblowSym, back.ddrawSym, back.dbendSym, back.doverSym}), "BD~*");
    EXPECT_EQ(std::string({back.cblowSym, back.cdrawSym, back.cslideSym}), "bd>");
    EXPECT_TRUE(back.playMetronome);
    EXPECT_TRUE(back.playCountIn);
    EXPECT_TRUE(back.playLoop);
    EXPECT_TRUE(back.offsetsharpsflats);
    EXPECT_FALSE(back.showPitchBends);
    EXPECT_TRUE(back.showDrumsNotes);
    EXPECT_TRUE(back.editSnap);
    EXPECT_TRUE(back.changeExpr2Vol);
    EXPECT_TRUE(back.sendMidiSt);
    EXPECT_TRUE(back.skipPrgChange);
    EXPECT_FALSE(back.printTrebleClef);
    EXPECT_TRUE(back.printBassClef);
    EXPECT_TRUE(back.printNoColorBars);
    EXPECT_EQ(back.printBeatsPerLine, 7);
    EXPECT_EQ(back.midiOutDeviceStr, "B");
    EXPECT_EQ(back.midiInDeviceStr, "Keys");
    EXPECT_EQ(back.soundFont, "/opt/fonts/Grand Piano.sf2");
    EXPECT_EQ(back.myHarps, block.myHarps);
    EXPECT_EQ(back.listenInput, "Jack: system");
    EXPECT_EQ(back.concertPitch, 443);
    EXPECT_EQ(back.listenTolerance, 45);
    EXPECT_EQ(back.listenOffsetMs, -35);
    EXPECT_TRUE(back.listenWait);
    EXPECT_EQ(back.colorHit, block.colorHit);
    EXPECT_EQ(back.colorWrong, block.colorWrong);
    EXPECT_EQ(back.colorMissed, block.colorMissed);
    EXPECT_EQ(back.colorHeard, block.colorHeard);
    EXPECT_EQ(store.readString(S, "myHarps"),
              "Major Diatonic (Richter)@9| 8 Hole Chromatic (std 32)@0");
    EXPECT_EQ(store.readInt(S, "dblowSym"), 'B');
    EXPECT_EQ(store.readInt(S, "fontLyricsBg"), 250 + 256 * 251 + 65536 * 252);
}

TEST(SettingsSave, EachGroupWritesOnlyItsKeys) {
    struct Case {
        unsigned group;
        std::vector<const char*> keys;
    };
    const std::vector<Case> cases = {
        {0, {}},
        {kSaveDiatonicSymbols, {"dblowSym", "ddrawSym", "dbendSym", "doverSym"}},
        {kSaveChromaticSymbols, {"cblowSym", "cdrawSym", "cslideSym"}},
        {kSaveFonts,
         {"fontTabFaceName", "fontTabHeight", "fontTabWeight", "fontTabItalic", "fontTextFaceName",
          "fontTextHeight", "fontTextWeight", "fontTextItalic"}},
        {kSaveLyrics,
         {"fontLyricsFaceName", "fontLyricsHeight", "fontLyricsWeight", "fontLyricsItalic",
          "fontLyricsTxt", "fontLyricsBg"}},
        {kSavePlayer,
         {"playMetronome", "playCountIn", "playLoop", "musicNoteType", "offsetsharpsflats",
          "showPitchBends", "showDrumsNotes", "editSnap", "changeExpr2Vol", "sendMidiSt",
          "skipPrgChange", "midiOutDeviceStr", "midiInDeviceStr", "soundFont", "autosaveSeconds"}},
        {kSavePrint, {"printTrebleClef", "printBassClef", "printNoColorBars", "printBeatsPerLine"}},
        {kSaveHarps, {"myHarps"}},
        {kSaveListen,
         {"listenInput", "concertPitch", "listenTolerance", "listenOffsetMs", "listenWait",
          "colorHit", "colorWrong", "colorMissed", "colorHeard"}},
    };
    for (const Case& c : cases) {
        MemorySettingsStore store;
        saveSettings(store, c.group, Settings{});
        EXPECT_EQ(store.keyCount(S), c.keys.size() + 1) << "group " << c.group;
        EXPECT_TRUE(store.readInt(S, "tabMode")) << "tabMode is always saved";
        for (const char* key : c.keys) {
            EXPECT_TRUE(store.readString(S, key)) << key << " in group " << c.group;
        }
    }
    MemorySettingsStore all;
    saveSettings(all, kSaveAll, Settings{});
    EXPECT_EQ(all.keyCount(S), 1u + 4 + 3 + 8 + 6 + 15 + 4 + 1 + 9);
    EXPECT_FALSE(all.readString(S, "tabStaffSpace")) << "never saved";
    EXPECT_FALSE(all.readString(S, "colorBlow")) << "never saved";
    EXPECT_FALSE(all.readString(S, "printTabSpace")) << "never saved";
}

TEST(Devices, FirstStartUsesMapperAndNoInput) {
    Settings block;
    loadSettings(MemorySettingsStore{}, block);
    resolveDevices({"Midi Mapper", "A"}, {"Keys"}, block);
    EXPECT_EQ(block.outputDeviceIndex, -1);
    EXPECT_EQ(block.inputDeviceIndex, -1);
    MemorySettingsStore store;
    saveSettings(store, kSavePlayer, block);
    EXPECT_EQ(store.readString(S, "midiOutDeviceStr"), "Midi Mapper");
    EXPECT_EQ(store.readString(S, "midiInDeviceStr"), "No Midi input");
}

TEST(Devices, SecondOutputByNameResolvesAndSavesAgain) {
    MemorySettingsStore store;
    store.writeString(S, "midiOutDeviceStr", "B");
    Settings block;
    loadSettings(store, block);
    resolveDevices({"Midi Mapper", "A", "B"}, {}, block);
    EXPECT_EQ(block.outputDeviceIndex, 1);
    saveSettings(store, kSavePlayer, block);
    EXPECT_EQ(store.readString(S, "midiOutDeviceStr"), "B");
}

TEST(Devices, NamesCompareExactlyAndFirstMatchWins) {
    Settings block;
    block.midiOutDeviceStr = "b";
    block.midiInDeviceStr = "Keys";
    resolveDevices({"Midi Mapper", "A", "B"}, {"Pads", "Keys", "Keys"}, block);
    EXPECT_EQ(block.outputDeviceIndex, -1) << "case-sensitive";
    EXPECT_EQ(block.inputDeviceIndex, 1);

    block.midiOutDeviceStr = "A";
    block.midiInDeviceStr = "No Midi input";
    resolveDevices({"Midi Mapper", "A", "A"}, {"Pads"}, block);
    EXPECT_EQ(block.outputDeviceIndex, 0);
    EXPECT_EQ(block.inputDeviceIndex, -1);
}

TEST(Devices, VanishedDeviceFallsBackAndSavesTheFallbackNames) {
    Settings block;
    block.midiOutDeviceStr = "Gone";
    block.midiInDeviceStr = "Gone too";
    resolveDevices({"Midi Mapper", "A"}, {"Pads"}, block);
    EXPECT_EQ(block.outputDeviceIndex, -1);
    EXPECT_EQ(block.inputDeviceIndex, -1);
    // An index chosen before the lists shrank must not read past them.
    block.outputDeviceIndex = 5;
    block.inputDeviceIndex = 3;
    MemorySettingsStore store;
    saveSettings(store, kSavePlayer, block);
    EXPECT_EQ(store.readString(S, "midiOutDeviceStr"), "Midi Mapper");
    EXPECT_EQ(store.readString(S, "midiInDeviceStr"), "No Midi input");
    block.inputDeviceIndex = 0;
    saveSettings(store, kSavePlayer, block);
    EXPECT_EQ(store.readString(S, "midiInDeviceStr"), "Pads");
}

TEST(SettingsBlock, OneInstanceAndCopiesAreSnapshots) {
    EXPECT_EQ(&settings(), &settings());
    Settings block;
    block.outputDeviceIndex = 4;
    Settings copy = block;
    block.outputDeviceIndex = 7;
    EXPECT_EQ(copy.outputDeviceIndex, 4);
    copy = block;
    EXPECT_EQ(copy.outputDeviceIndex, 7);
}

TEST(SettingsBlock, SharedFieldsAreSafeAcrossThreads) {
    Settings block;
    block.inputDeviceIndex = 0;
    std::thread reader([&block] {
        int last = 0;
        while (last < 1000) {
            const int now = block.inputDeviceIndex;
            EXPECT_GE(now, last);
            last = now;
        }
    });
    for (int i = 0; i <= 1000; ++i) {
        block.inputDeviceIndex = i;
    }
    reader.join();
}

TEST(Colours, StoredFormIsRedPlus256GreenPlus65536Blue) {
    EXPECT_EQ((Rgb{128, 255, 255}).stored(), 16777088);
    EXPECT_EQ(Rgb::fromStored(2154592), (Rgb{96, 224, 32}));
    EXPECT_EQ(Rgb::fromStored(255), (Rgb{255, 0, 0}));
}

} // namespace
} // namespace reedtab

// reedtab-cli notes and tab run as processes: output and exit status.

#include <gtest/gtest.h>

#include "../support/clitesting.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::filesystem::path scratch() {
    const auto dir = std::filesystem::path(REEDTAB_BINARY_DIR) / "test-scratch" / "cli_harmonica" /
                     reedtab::testing::testFolder();
    std::filesystem::create_directories(dir);
    return dir;
}

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs reedtab-cli with `arguments`; `environment` ("NAME='value' ...") goes before it.
CliRun cli(const std::string& arguments, const std::string& environment = "") {
    const auto dir = scratch();
    const std::string command = environment + " '" + REEDTAB_CLI + "' " + arguments + " >'" +
                                (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
    CliRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = slurp(dir / "out");
    run.err = slurp(dir / "err");
    return run;
}

std::string writeFile(const std::string& name, const std::string& bytes) {
    const auto path = scratch() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

// A format-1 file at division 480 in 4/4: an empty first track, then "Melody" with a chord
// of C4 and E4 at 0, G4 at 480 and C5 at 1920 (the second bar), then "Low" with C3 at 960.
std::string songFile() {
    auto track = [](const std::string& events) {
        const auto size = static_cast<unsigned>(events.size());
        return std::string("MTrk") + static_cast<char>(size >> 24) +
               static_cast<char>((size >> 16) & 0xFF) + static_cast<char>((size >> 8) & 0xFF) +
               static_cast<char>(size & 0xFF) + events;
    };
    const std::string end("\x00\xFF\x2F\x00", 4);
    const std::string melody = std::string("\x00\xFF\x03\x06Melody", 10) +
                               std::string("\x00\x90\x3C\x64\x00\x90\x40\x64", 8) +
                               std::string("\x83\x60\x80\x3C\x00\x00\x80\x40\x00", 9) +
                               std::string("\x00\x90\x43\x64\x83\x60\x80\x43\x00", 9) +
                               std::string("\x87\x40\x90\x48\x64\x83\x60\x80\x48\x00", 10) + end;
    const std::string low = std::string("\x00\xFF\x03\x03Low", 7) +
                            std::string("\x87\x40\x90\x30\x64\x60\x80\x30\x00", 9) + end;
    return std::string("MThd\x00\x00\x00\x06\x00\x01\x00\x03\x01\xE0", 14) + track(end) +
           track(melody) + track(low);
}

const char* const kRichter = "'Major Diatonic (Richter)'";

TEST(CliNotes, RichterAtKey60) {
    const CliRun run = cli(std::string("notes --diatonic ") + kRichter);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto out = lines(run.out);
    ASSERT_GE(out.size(), 5u);
    EXPECT_EQ(out[0], "60: +1");
    EXPECT_EQ(out[1], "61: -1'");
    EXPECT_EQ(out[2], "62: -1");
    EXPECT_EQ(out[3], "63: +1o");
    EXPECT_NE(run.out.find("\n67: -2, +3\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n68: -3''', +2o\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n89: -9, -8o\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n97: -10o\n"), std::string::npos);
    EXPECT_EQ(run.out.find("59:"), std::string::npos);
    EXPECT_EQ(run.out.find("98:"), std::string::npos);
    EXPECT_EQ(out.back(), "Major Diatonic (Richter) Key of C");
}

TEST(CliNotes, OtherTuningsKeysAndFiles) {
    CliRun run = cli("notes --diatonic 'Valved Major Diatonic'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\n66: +3', -2'\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n88: -9', +8\n"), std::string::npos);

    run = cli("notes --chromatic '16 Hole Chromatic (std 64)'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).front(), "48: +1'");
    EXPECT_NE(run.out.find("\n60: +1, +4', -4'<\n"), std::string::npos);
    EXPECT_EQ(lines(run.out).back(), "16 Hole Chromatic (std 64) Key of C");

    run = cli("notes --diatonic 'Melody Maker (Lee Oskar)' --key 67");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).front(), "67: +1");
    EXPECT_EQ(lines(run.out).back(), "Melody Maker (Lee Oskar) Key of D (High)");

    const std::string tun =
        writeFile("mine.tun", "DIATONIC\nNAME Mine\nBLOW C E\nDRAW D G\nVALVE x -\n");
    run = cli("notes --diatonic '" + tun + "' --key 48");
    ASSERT_EQ(run.status, 0) << run.err;
    // Hole 1 (valved): valved bend below the blow reed, one draw bend; hole 2: two draw bends
    // and an overblow.
    EXPECT_EQ(run.out, "47: +1'\n48: +1\n49: -1'\n50: -1\n52: +2\n53: -2''\n54: -2'\n55: -2\n"
                       "56: +2o\n[Custom] Mine Key of C (Low)\n");
}

// Half steps above C of a row of note names as players give it: each reed the next such note
// above the one before, the first draw the first such note above the first blow.
std::vector<int> rowOf(const std::string& names, int above) {
    static const std::string letters = "C D EF G A B";
    std::vector<int> row;
    std::istringstream in(names);
    for (std::string name; in >> name;) {
        const int pitch = static_cast<int>(letters.find(name[0]));
        int note = above + 1;
        while ((note % 12 + 12) % 12 != pitch) {
            ++note;
        }
        row.push_back(note);
        above = note;
    }
    return row;
}

TEST(CliNotes, TuningsPlayersAskForPlayTheirRows) {
    struct Tuning {
        const char* name;
        const char* blow;
        const char* draw;
    };
    const Tuning tunings[] = {
        {"Paddy Richter", "C E A C E G C E G C", "D G B D F A B D F A"},
        {"PowerDraw", "C E G C E G A C E A", "D G B D F A B D G C"},
        {"PowerBender", "C E G C D F A C E A", "D G B D E G B D G C"},
        {"Easy 3rd", "C E G C E G C E G C", "D F A D F A B D F A"},
    };
    for (const Tuning& tuning : tunings) {
        const CliRun run = cli(std::string("notes --diatonic '") + tuning.name + "'");
        ASSERT_EQ(run.status, 0) << tuning.name << ": " << run.err;
        const std::string out = "\n" + run.out;
        EXPECT_EQ(lines(run.out).back(), std::string(tuning.name) + " Key of C");
        const std::vector<int> blow = rowOf(tuning.blow, -1);
        const std::vector<int> draw = rowOf(tuning.draw, blow.front());
        ASSERT_EQ(blow.size(), 10u);
        ASSERT_EQ(draw.size(), 10u);
        for (std::size_t h = 0; h < 10; ++h) {
            const std::string hole = std::to_string(h + 1);
            for (const auto& [offset, token] :
                 {std::pair{blow[h], "+" + hole}, std::pair{draw[h], "-" + hole}}) {
                // The reed is one of the ways of playing its note.
                const std::string line = std::to_string(60 + offset) + ": ";
                const auto at = out.find("\n" + line);
                ASSERT_NE(at, std::string::npos) << tuning.name << " " << token;
                const std::string ways =
                    out.substr(at + 1 + line.size(), out.find('\n', at + 1) - at - 1 - line.size());
                EXPECT_NE((", " + ways + ",").find(", " + token + ","), std::string::npos)
                    << tuning.name << ": " << line << ways << " lacks " << token;
            }
        }
    }
    // Bends and overs follow from the reeds as for every tuning: PowerDraw's holes 7 to 10
    // draw-bend and overblow, and its hole 7 blow doubles hole 6 draw.
    const CliRun power = cli("notes --diatonic PowerDraw");
    EXPECT_NE(power.out.find("\n81: -6, +7\n82: -7', +6o\n"), std::string::npos);
    EXPECT_NE(power.out.find("\n94: -10''\n95: -10'\n96: -10\n97: +10o\n"), std::string::npos);
}

TEST(CliNotes, EveryTuningWrittenAsATuningFileReadsBack) {
    for (const std::string name : {"Paddy Richter", "Easy 3rd", "Valved Major Diatonic"}) {
        const CliRun tun = cli("notes --diatonic '" + name + "' --tun");
        ASSERT_EQ(tun.status, 0) << tun.err;
        EXPECT_EQ(lines(tun.out)[1], "NAME " + name);
        const std::string file = writeFile("export.tun", tun.out);
        const CliRun original = cli("notes --diatonic '" + name + "'");
        const CliRun reread = cli("notes --diatonic '" + file + "'");
        ASSERT_EQ(reread.status, 0) << reread.err;
        EXPECT_EQ(lines(reread.out).back(), "[Custom] " + name + " Key of C");
        // The same notes the same ways: everything but the description.
        EXPECT_EQ(original.out.substr(0, original.out.rfind("\n", original.out.size() - 2)),
                  reread.out.substr(0, reread.out.rfind("\n", reread.out.size() - 2)))
            << name;
    }
    const CliRun chromatic = cli("notes --chromatic '12 Hole Chromatic (std 48)' --tun");
    ASSERT_EQ(chromatic.status, 0) << chromatic.err;
    const std::string file = writeFile("chromatic.tun", chromatic.out);
    const CliRun reread = cli("notes --chromatic '" + file + "'");
    const CliRun original = cli("notes --chromatic '12 Hole Chromatic (std 48)'");
    EXPECT_EQ(original.out.substr(0, original.out.rfind("\n", original.out.size() - 2)),
              reread.out.substr(0, reread.out.rfind("\n", reread.out.size() - 2)));
}

TEST(CliNotes, RefusalsExitWith2AndOneLine) {
    const std::string notDiatonic =
        writeFile("chromatic.tun", "CHROMATIC\nNAME c\nBLOW_SLIDE_IN C\nBLOW_SLIDE_OUT C\n"
                                   "DRAW_SLIDE_IN C\nDRAW_SLIDE_OUT C\n");
    const std::vector<std::string> refused = {
        "notes --diatonic 'No Such Tuning'",
        "notes --chromatic 'major diatonic (richter)'",
        "notes --diatonic '" + notDiatonic + "'",
        "notes --diatonic '" + scratch().string() + "'",
        "notes",
        std::string("notes --diatonic ") + kRichter + " --chromatic 'Whole Tone (custom)'",
        std::string("notes --diatonic ") + kRichter + " --key 128",
        std::string("notes --diatonic ") + kRichter + " --key C",
        std::string("notes --diatonic ") + kRichter + " --frobnicate",
    };
    for (const std::string& arguments : refused) {
        const CliRun run = cli(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_TRUE(run.out.empty()) << arguments;
        EXPECT_EQ(lines(run.err).size(), 1u) << arguments << ": " << run.err;
        EXPECT_EQ(run.err.rfind("reedtab-cli notes: ", 0), 0u) << run.err;
    }
    EXPECT_NE(cli("notes --diatonic 'No Such Tuning'").err.find("No Such Tuning"),
              std::string::npos);
}

TEST(CliTab, DiatonicTablatureOfASong) {
    const std::string song = writeFile("song.mid", songFile());
    const CliRun run = cli("tab '" + song + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Diatonic Tab: Major Diatonic (Richter) Key of C\n"
                       "Track 01: Melody\n"
                       "001:01:000 /+1+2 \n"
                       "001:02:000 -2 \n"
                       "002:01:000 /+4 \n"
                       "Track 02: Low\n"
                       "001:03:000 /C \n");
}

TEST(CliTab, ModesTuningsAndRange) {
    const std::string song = writeFile("song.mid", songFile());
    CliRun run = cli("tab '" + song + "' --mode bb --from 480 --to 1920");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Bb Instrument Notes\n"
                       "Track 01: Melody\n"
                       "001:02:000 /A \n"
                       "Track 02: Low\n"
                       "001:03:000 /D \n");

    run = cli("tab '" + song + "' --mode chromatic --chromatic '16 Hole Chromatic (std 64)'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Chromatic Tab: 16 Hole Chromatic (std 64) Key of C\n"
                       "Track 01: Melody\n"
                       "001:01:000 /+1+2 \n"
                       "001:02:000 +3 \n"
                       "002:01:000 /+5 \n"
                       "Track 02: Low\n"
                       "001:03:000 /+1' \n");

    run = cli("tab '" + song + "' --mode notes --to 1");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "C Instrument Notes\nTrack 01: Melody\n001:01:000 /CE \n");

    run = cli("tab '" + song + "' --diatonic 'Melody Maker (Lee Oskar)' --key 55 --to 1");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).front(), "Diatonic Tab: Melody Maker (Lee Oskar) Key of D");
}

TEST(CliTab, Refusals) {
    const std::string song = writeFile("song.mid", songFile());
    const std::string garbage = writeFile("garbage.tun", std::string("\x00\x01\xFF", 3));
    for (const std::string& arguments : std::vector<std::string>{
             "tab '" + song + "' --diatonic 'Nope'",
             "tab '" + song + "' --chromatic '" + garbage + "'", "tab '" + song + "' --mode tab",
             std::string("tab"), "tab '" + song + "' --from -5",
             "tab '" + song + "' '" + song + "'"}) {
        const CliRun run = cli(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_TRUE(run.out.empty()) << arguments;
        EXPECT_EQ(lines(run.err).size(), 1u) << arguments << ": " << run.err;
    }
    const CliRun missing = cli("tab '" + (scratch() / "missing.mid").string() + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
}

TEST(CliHarps, OhSusannaWithoutBendsOnPlainHarps) {
    const std::string song = std::string("'") + REEDTAB_SOURCE_DIR + "/examples/oh-susanna.mid'";
    CliRun run = cli("harps " + song + " --no-bends --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("{\"songKey\": \"C major\", \"keySource\": \"signature\"", 0), 0u)
        << run.out;
    const auto out = lines(run.out);
    ASSERT_GE(out.size(), 4u);
    // No harp that needs a bend is offered, and the first ones play every
    // note of the melody as a plain blow or draw.
    for (std::size_t k = 1; k < out.size(); ++k) {
        EXPECT_NE(out[k].find("\"bends\": 0,"), std::string::npos) << out[k];
        if (k <= 5) {
            EXPECT_NE(out[k].find("\"unavailable\": 0}"), std::string::npos) << out[k];
        }
    }
    EXPECT_EQ(out[1].rfind("  {\"tuning\": \"Major Diatonic (Richter)\", \"chromatic\": false, "
                           "\"key\": 60, \"keyName\": \"C\", \"position\": 1, \"shift\": 0,",
                           0),
              0u)
        << out[1];

    run = cli("harps " + song + " --chromatic-only --track 1 --from 0 --to 1920");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto table = lines(run.out);
    ASSERT_EQ(table.size(), 2u + 8u * 12u);
    EXPECT_EQ(table[0].rfind("Song key: C major (key signature), track 1,", 0), 0u) << table[0];
    EXPECT_EQ(table[2].find("Major Diatonic"), std::string::npos);

    for (const std::string& arguments : std::vector<std::string>{
             "harps", "harps " + song + " --track 99", "harps " + song + " --from -1",
             "harps " + song + " --diatonic-only --chromatic-only"}) {
        const CliRun refused = cli(arguments);
        EXPECT_EQ(refused.status, 2) << arguments;
        EXPECT_EQ(lines(refused.err).size(), 1u) << arguments << ": " << refused.err;
    }
}

// The (tuning, keyName) of every candidate of a --json run, best first.
std::vector<std::pair<std::string, std::string>> harpsOf(const std::string& json) {
    std::vector<std::pair<std::string, std::string>> found;
    for (const std::string& line : lines(json)) {
        const auto tuning = line.find("{\"tuning\": \"");
        const auto key = line.find("\"keyName\": \"");
        if (tuning == std::string::npos || key == std::string::npos) {
            continue;
        }
        const auto from = tuning + 12;
        const auto keyFrom = key + 12;
        found.emplace_back(line.substr(from, line.find('"', from) - from),
                           line.substr(keyFrom, line.find('"', keyFrom) - keyFrom));
    }
    return found;
}

TEST(CliHarps, MyHarpsFromTheSettingsAndHarpOptions) {
    const std::string song = std::string("'") + REEDTAB_SOURCE_DIR + "/examples/oh-susanna.mid'";
    const auto config = scratch() / "config";
    std::filesystem::create_directories(config / "Reedtab Software");
    // As the program's store writes it.
    std::ofstream(config / "Reedtab Software" / "Reedtab.conf")
        << "[Settings]\ntabMode=1\nmyHarps=Major Diatonic (Richter)@9|Major Diatonic "
           "(Richter)@0\n\n[Version%203.1]\nDiatonicKey=60\n";
    const std::string environment = "XDG_CONFIG_HOME='" + config.string() + "'";
    using Harps = std::vector<std::pair<std::string, std::string>>;
    const std::string richter = "Major Diatonic (Richter)";

    CliRun run = cli("harps " + song + " --my-harps --json", environment);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(harpsOf(run.out), (Harps{{richter, "C"}, {richter, "A"}}));
    EXPECT_TRUE(run.err.empty()) << run.err;

    run = cli("harps " + song + " --my-harps --harp 'Hohner 365@Bb' --harp '" + richter +
                  "@C' --harp ' 8 hole chromatic (std 32)@F#' --json",
              environment);
    ASSERT_EQ(run.status, 0) << run.err;
    Harps found = harpsOf(run.out);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (Harps{{" 8 Hole Chromatic (std 32)", "F#"},
                            {"Hohner 365", "Bb"},
                            {richter, "A"},
                            {richter, "C"}}));

    // Without the settings, --harp alone; the table form shows the same harps.
    run = cli("harps " + song + " --harp '" + richter + "@G'",
              "XDG_CONFIG_HOME='" + (scratch() / "none").string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(lines(run.out).size(), 3u) << run.out;
    EXPECT_NE(lines(run.out)[2].find("G     12"), std::string::npos) << lines(run.out)[2];
    EXPECT_NE(lines(run.out)[2].find(richter), std::string::npos) << lines(run.out)[2];

    // No harps chosen in the settings: every harp, and a word on stderr.
    run = cli("harps " + song + " --my-harps",
              "XDG_CONFIG_HOME='" + (scratch() / "none").string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).size(), lines(cli("harps " + song).out).size());
    EXPECT_GT(lines(run.out).size(), 100u);
    EXPECT_EQ(lines(run.err).size(), 1u) << run.err;

    for (const std::string& bad :
         {std::string("--harp 'Nope@C'"), std::string("--harp 'Hohner 365@H'"),
          std::string("--harp 'Hohner 365'"), std::string("--harp 'Hohner 365@C#m'"),
          std::string("--harp")}) {
        const CliRun refused = cli("harps " + song + " " + bad, environment);
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_TRUE(refused.out.empty()) << bad;
        ASSERT_EQ(lines(refused.err).size(), 1u) << bad << ": " << refused.err;
        EXPECT_EQ(refused.err.rfind("reedtab-cli harps: ", 0), 0u) << refused.err;
    }
}

TEST(CliHelp, BothCommandsDescribeThemselves) {
    for (const char* command : {"notes", "tab", "harps"}) {
        const CliRun run = cli(std::string(command) + " --help");
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind(std::string("usage: reedtab-cli ") + command, 0), 0u) << run.out;
    }
    EXPECT_NE(cli("notes --help").out.find("\"Hohner 365\""), std::string::npos);
}

} // namespace

// reedtab-cli tab --text, optimize, import-tab and musicxml run as processes: what they print,
// write and refuse.

#include "model/midisong.h"

#include "../support/clitesting.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace reedtab {
namespace {

using testing::runCli;
using testing::scratchFolder;
using testing::slurp;

std::string example(const char* name) {
    return "'" + std::string(REEDTAB_SOURCE_DIR) + "/examples/" + name + "'";
}

// The tablature lines of a text tab: what follows the header's blank line.
std::string body(const std::string& tab) {
    const auto at = tab.find("\n\n");
    return at == std::string::npos ? std::string() : tab.substr(at + 2);
}

testing::CliRun cli(const std::string& arguments) {
    return runCli("cli_formats", arguments);
}

TEST(CliTabText, OhSusannaAsPlayersPostIt) {
    const auto run = cli("tab " + example("oh-susanna.mid") + " --text");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find("\n\n")),
              "Title: Oh! Susanna\nHarp: C, Major Diatonic (Richter)\n"
              "Position: 1st (song in C major)");
    EXPECT_EQ(body(run.out).substr(0, body(run.out).find('\n')),
              "+4 -4 | +5 +6 +6 -6 +6 +5 +4 -4 | +5 +5 -4 +4 -4 +4 -4 | +5 +6 +6 -6 +6 +5 +4 -4 |");

    const auto plain = cli("tab " + example("oh-susanna.mid") +
                           " --text --style plain --bars-per-line 2 --key 55");
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("Harp: G, Major Diatonic (Richter)\nPosition: 12th"),
              std::string::npos)
        << plain.out;
    EXPECT_EQ(body(plain.out).substr(0, body(plain.out).find('\n')),
              "-5 6 | -6 7 7 -8 7 -6 -5 6 |");

    const auto words = cli("tab " + example("amazing-grace.kar") + " --text --lyrics --track 1");
    ASSERT_EQ(words.status, 0) << words.err;
    EXPECT_EQ(
        body(words.out).substr(0, body(words.out).find("\n", body(words.out).find('\n') + 1)),
        "+6 | +7  +8   +7 | +8    -8  | +7    -6 |\nA-   ma- zing      grace how   sweet the");
}

TEST(CliTabText, Refusals) {
    const std::string file = example("saints.mid");
    for (const std::string arguments :
         {"--text --style fancy", "--text --style auto", "--lyrics", "--style plain",
          "--text --mode notes", "--optimize --mode bb", "--text --bars-per-line 0",
          "--text --track 9", "--text --track -1", "--optimize --track 3"}) {
        const auto run = cli("tab " + file + " " + arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << arguments << run.err;
    }
}

TEST(CliOptimize, TheChordsOfThePianoKeepToOneBreath) {
    const std::string dir = scratchFolder("cli_formats", "optimize");
    const std::string out = dir + "/saints.mid";
    const auto before = cli("tab " + example("saints.mid") + " --text --track 2");
    ASSERT_EQ(before.status, 0) << before.err;
    EXPECT_NE(before.out.find("(+1 +2 -2)"), std::string::npos);

    const auto run = cli("optimize " + example("saints.mid") + " '" + out + "' --track 2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, out + ": track 2, 24 fingerings changed\n");
    const auto after = cli("tab '" + out + "' --text --track 2");
    EXPECT_EQ(after.out.find("(+1 +2 -2)"), std::string::npos) << after.out;
    EXPECT_NE(after.out.find("(+1 +2 +3)"), std::string::npos) << after.out;
    EXPECT_EQ(cli("tab " + example("saints.mid") + " --text --track 2 --optimize").out, after.out)
        << "tab --optimize chooses as optimize saves";
    EXPECT_EQ(cli("optimize '" + out + "' '" + out + "' --track 2").out,
              out + ": track 2, 0 fingerings changed\n")
        << "the choices are in the file";

    EXPECT_EQ(cli("optimize " + example("saints.mid") + " '" + out +
                  "' --track 2 --avoid-bends "
                  "--avoid-overblows --chromatic '12 Hole Chromatic (std 48)'")
                  .status,
              0);
    const auto refused = {
        std::string("optimize ") + example("saints.mid"),
        std::string("optimize ") + example("saints.mid") + " '" + out + "' --track 7",
        std::string("optimize ") + example("saints.mid") + " '" + out +
            "' --diatonic 'Paddy Richter' --chromatic '12 Hole Chromatic (std 48)'",
        std::string("optimize ") + example("saints.mid") + " '" + out + "' --diatonic Nope",
    };
    for (const std::string& arguments : refused) {
        EXPECT_EQ(cli(arguments).status, 2) << arguments;
    }
    EXPECT_EQ(cli("optimize '" + dir + "/missing.mid' '" + out + "'").status, 1);
    EXPECT_EQ(cli("optimize " + example("saints.mid") + " '" + dir + "/no/such/x.mid'").status, 5);
}

TEST(CliImportTab, ATabFromTheWebBecomesASongAndComesBack) {
    const std::string dir = scratchFolder("cli_formats", "import");
    const std::string text = dir + "/riff.txt";
    std::ofstream(text) << "Little blues riff\n\n"
                           "-2 -3' -4 | -4' -4 -3' -2 | -2 -2'' +2 |\n"
                           "(-1 -2 -3) -4 +6o -6 | -2 -3 -4 -5 |\n";
    const std::string mid = dir + "/riff.mid";
    const auto run = cli("import-tab '" + text + "' '" + mid + "' --tempo 90");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, mid + ": 20 notes on the Major Diatonic (Richter) Key of C\n");
    MidiSong song;
    ASSERT_EQ(song.loadFile(mid), LoadOk);
    EXPECT_EQ(song.track(0)->name, "Little blues riff");
    EXPECT_EQ(song.tempoAt(0), 60000000 / 90);
    const auto back = cli("tab '" + mid + "' --text");
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(body(back.out), "-2 -3' -4 | -4' -4 -3' -2 | -2 -2'' +2 | (-1 -2 -3) -4 +6o -6 |\n"
                              "-2 -3 -4 -5 |\n");

    // Its own header names the harp: exported on a low F Hohner 365, imported on it.
    const auto low = cli("tab '" + mid + "' --text --diatonic 'Hohner 365' --key 53");
    std::ofstream(dir + "/low.txt") << low.out;
    ASSERT_EQ(cli("import-tab '" + dir + "/low.txt' '" + dir + "/low.mid'").status, 0);
    EXPECT_EQ(cli("tab '" + dir + "/low.mid' --text --diatonic 'Hohner 365' --key 53").out,
              low.out);
}

TEST(CliImportTab, ATokenItCannotReadWritesNothing) {
    const std::string dir = scratchFolder("cli_formats", "bad");
    const std::string mid = dir + "/bad.mid";
    std::ofstream(dir + "/bad.txt") << "+4 -4\n-5 +4' +6\n";
    const auto run = cli("import-tab '" + dir + "/bad.txt' '" + mid + "'");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.err,
              "reedtab-cli import-tab: " + dir +
                  "/bad.txt: line 2, column 4: \"+4'\" is not played on the Major Diatonic "
                  "(Richter) Key of C\n");
    EXPECT_FALSE(std::filesystem::exists(mid));

    EXPECT_EQ(cli("import-tab '" + dir + "/none.txt' '" + mid + "'").status, 1);
    EXPECT_EQ(cli("import-tab '" + dir + "/bad.txt' '" + mid + "' --style fancy").status, 2);
    EXPECT_EQ(cli("import-tab '" + dir + "/bad.txt' '" + mid + "' --beats 0").status, 2);
    EXPECT_EQ(cli("import-tab '" + dir + "/bad.txt'").status, 2);
}

TEST(CliImportTab, StandardInputStylesAndTheChromatic) {
    const std::string dir = scratchFolder("cli_formats", "stdin");
    const std::string mid = dir + "/s.mid";
    auto piped = [&](const std::string& text, const std::string& options) {
        std::ofstream(dir + "/in.txt") << text;
        const auto run = cli("import-tab - '" + mid + "' " + options + " < '" + dir + "/in.txt'");
        EXPECT_EQ(run.status, 0) << run.err;
        return body(
            cli("tab '" + mid + "' --text " +
                (options.find("--chromatic") != std::string::npos ? "--mode chromatic " : "") +
                options.substr(0, options.find(" --style")))
                .out);
    };
    EXPECT_EQ(piped("+4 4 +5 5\n", ""), "+4 -4 +5 -5 |\n") << "bare numbers draw";
    EXPECT_EQ(piped("4 5\n", "--diatonic 'Major Diatonic (Richter)' --style draw-default"),
              "-4 -5 |\n");
    EXPECT_EQ(piped("4B 3D'' 6B#\n", ""), "+4 -3'' +6o |\n");
    EXPECT_EQ(piped("+1 -4< +4\n", "--chromatic '12 Hole Chromatic (std 48)'"), "+1 -4< +4 |\n");
}

TEST(CliMusicXml, ScoresOfTheExamples) {
    const std::string dir = scratchFolder("cli_formats", "musicxml");
    const std::string out = dir + "/grace.musicxml";
    auto run = cli("musicxml " + example("amazing-grace.kar") + " '" + out + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, out + ": 2 parts\n");
    std::string xml = slurp(out);
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>", 0), 0u);
    EXPECT_NE(xml.find("<part-name>Melody</part-name>"), std::string::npos);
    EXPECT_NE(xml.find("<text>ma</text>"), std::string::npos);
    EXPECT_EQ(xml.find("name=\"tablature\""), std::string::npos);

    run = cli("musicxml " + example("amazing-grace.kar") + " '" + out +
              "' --track 1 --tab --diatonic 'Paddy Richter'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, out + ": 1 part\n");
    xml = slurp(out);
    EXPECT_NE(
        xml.find("<lyric number=\"2\" name=\"tablature\"><syllabic>single</syllabic><text>+6"),
        std::string::npos);

    EXPECT_EQ(cli("musicxml " + example("saints.mid") + " '" + out + "' --track 3").status, 2);
    EXPECT_EQ(cli("musicxml " + example("saints.mid")).status, 2);
    EXPECT_EQ(cli("musicxml " + example("saints.mid") + " '" + dir + "/no/x.musicxml'").status, 5);
}

} // namespace
} // namespace reedtab

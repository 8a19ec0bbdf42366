// reedtab-cli pdf as a process with no display: page counts by the page arithmetic, the
// headers and the tablature labels read back from the PDF with poppler-utils.

#include "model/midisong.h"
#include "view/geometry/printlayout.h"
#include "view/geometry/songwindow.h"

#include "../support/clitesting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace reedtab {
namespace {

using testing::runCli;
using testing::scratchFolder;
using testing::slurp;

std::string example(const char* name) {
    return std::string(REEDTAB_SOURCE_DIR) + "/examples/" + name;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// Output of a poppler tool on `pdf`, through a file so that the exit status is checked.
std::string popplerOutput(const std::string& tool, const std::string& pdf) {
    const std::string out = pdf + "." + tool + ".txt";
    const std::string command = tool + " " + quoted(pdf) + (tool == "pdftotext" ? " " : " > ") +
                                quoted(out) + " 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return slurp(out);
}

int pdfPages(const std::string& pdf) {
    const std::string info = popplerOutput("pdfinfo", pdf);
    const auto at = info.find("Pages:");
    if (at == std::string::npos) {
        return -1;
    }
    return std::atoi(info.c_str() + at + 6);
}

// No display and no platform: the command must pick its own; the user's settings come from
// a folder of the test's.
class CliPdf : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("QT_QPA_PLATFORM");
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        config = scratchFolder("cli_view", "config");
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        out = scratchFolder("cli_view", "out");
    }

    void writeUserSettings(const std::string& lines) {
        std::filesystem::create_directories(config + "/Reedtab Software");
        std::ofstream(config + "/Reedtab Software/Reedtab.conf") << lines;
    }

    static int expectedPages(const std::string& file, const PrintOptions& options,
                             std::int32_t from = -1, std::int32_t to = -1) {
        MidiSong song;
        EXPECT_EQ(song.loadFile(file), LoadOk);
        PrintSource source;
        source.division = songDivision(song);
        source.songLength = song.length;
        source.markBegin = from;
        source.markEnd = to;
        return printPageLayout(options, source).pageCount;
    }

    std::string config;
    std::string out;
};

TEST_F(CliPdf, EveryExampleInEveryModeHasTheFormulasPagesAndHeaders) {
    const char* const files[] = {"oh-susanna.mid", "amazing-grace.kar", "saints.mid"};
    const char* const modes[] = {"notes", "diatonic", "chromatic", "bb", "eb"};
    const char* const titles[] = {"C Instrument Notes",
                                  "Diatonic Tab: ", "Chromatic Tab: ", "Bb Instrument Notes",
                                  "Eb Instrument Notes"};
    for (const char* name : files) {
        const std::string file = example(name);
        PrintOptions options;
        options.beatsPerLine = 4; // several pages for every example
        const int pages = expectedPages(file, options);
        ASSERT_GT(pages, 1);
        for (int mode = 0; mode < 5; ++mode) {
            SCOPED_TRACE(std::string(name) + " " + modes[mode]);
            const std::string pdf = out + "/" + name + "." + modes[mode] + ".pdf";
            const auto run =
                runCli("cli_view", "pdf " + quoted(file) + " " + quoted(pdf) + " --mode " +
                                       modes[mode] + " --beats-per-line 4");
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.out,
                      pdf + ": " + std::to_string(pages) + (pages == 1 ? " page\n" : " pages\n"));
            EXPECT_EQ(pdfPages(pdf), pages);
            const std::string text = popplerOutput("pdftotext", pdf);
            EXPECT_NE(text.find("Page 1"), std::string::npos);
            EXPECT_NE(text.find(file), std::string::npos) << "the file's path heads the page";
            EXPECT_NE(text.find(titles[mode]), std::string::npos) << text.substr(0, 300);
        }
    }
}

TEST_F(CliPdf, OhSusannaOnTheRichterHarpShowsItsFirstHoles) {
    const std::string pdf = out + "/susanna.pdf";
    const auto run = runCli("cli_view", "pdf " + quoted(example("oh-susanna.mid")) + " " +
                                            quoted(pdf) + " --mode diatonic --key 60");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string text = popplerOutput("pdftotext", pdf);
    EXPECT_NE(text.find("Diatonic Tab: "), std::string::npos);
    std::size_t at = 0;
    for (const char* hole : {"+4", "-4", "+5", "+6"}) {
        at = text.find(hole, at);
        ASSERT_NE(at, std::string::npos) << hole << " in order in:\n" << text.substr(0, 400);
        ++at;
    }

    const auto inG = runCli("cli_view", "pdf " + quoted(example("oh-susanna.mid")) + " " +
                                            quoted(pdf) + " --mode diatonic --key 67");
    ASSERT_EQ(inG.status, 0) << inG.err;
    EXPECT_NE(popplerOutput("pdftotext", pdf).find("Key of G"), std::string::npos);
    EXPECT_EQ(runCli("cli_view",
                     "pdf " + quoted(example("oh-susanna.mid")) + " " + quoted(pdf) + " --key 128")
                  .status,
              2);
}

TEST_F(CliPdf, OptimizedFingeringsArePrinted) {
    // The piano's C major chords: blow 1, 2 and draw 2 as preferred, blow 1, 2, 3 together.
    const std::string pdf = out + "/saints.pdf";
    const std::string file = quoted(example("saints.mid"));
    auto run = runCli("cli_view", "pdf " + file + " " + quoted(pdf) + " --mode diatonic");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(popplerOutput("pdftotext", pdf).find("+3"), std::string::npos);
    run = runCli("cli_view",
                 "pdf " + file + " " + quoted(pdf) + " --mode diatonic --optimize --track 2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(popplerOutput("pdftotext", pdf).find("+3"), std::string::npos);
    EXPECT_EQ(
        runCli("cli_view", "pdf " + file + " " + quoted(pdf) + " --mode notes --optimize").status,
        2);
}

TEST_F(CliPdf, OptionsAndUserSettingsShapeThePages) {
    const std::string file = example("saints.mid");
    PrintOptions both;
    both.bassClef = true;
    both.beatsPerLine = 4;
    const std::string pdf = out + "/both.pdf";
    auto run = runCli("cli_view", "pdf " + quoted(file) + " " + quoted(pdf) +
                                      " --bass --beats-per-line 4 --no-color");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(pdfPages(pdf), expectedPages(file, both));

    PrintOptions ranged;
    ranged.beatsPerLine = 1;
    const int rangedPages = expectedPages(file, ranged, 1920, 9000);
    ASSERT_GT(rangedPages, 1);
    ASSERT_LT(rangedPages, expectedPages(file, ranged));
    run = runCli("cli_view", "pdf " + quoted(file) + " " + quoted(pdf) +
                                 " --beats-per-line 1 --from 1920 --to 9000");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(pdfPages(pdf), rangedPages);

    // The user's print settings and tablature type are the defaults.
    writeUserSettings("[Settings]\nprintBeatsPerLine=2\nprintTrebleClef=0\nprintBassClef=1\n"
                      "tabMode=2\n");
    PrintOptions stored;
    stored.trebleClef = false;
    stored.bassClef = true;
    stored.beatsPerLine = 2;
    run = runCli("cli_view", "pdf " + quoted(file) + " " + quoted(pdf));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(pdfPages(pdf), expectedPages(file, stored));
    EXPECT_NE(popplerOutput("pdftotext", pdf).find("Chromatic Tab: "), std::string::npos);
}

TEST_F(CliPdf, SaysWhereThePdfWentAndKeepsProgressOffPipes) {
    const std::string file = example("saints.mid");
    const std::string pdf = out + "/relative.pdf";
    const std::string relative =
        std::filesystem::relative(pdf, std::filesystem::current_path()).string();
    ASSERT_NE(relative, pdf);
    const auto run =
        runCli("cli_view", "pdf " + quoted(file) + " " + quoted(relative) + " --beats-per-line 4");
    ASSERT_EQ(run.status, 0) << run.err;
    PrintOptions options;
    options.beatsPerLine = 4;
    const int pages = expectedPages(file, options);
    EXPECT_EQ(run.out, std::filesystem::absolute(relative).string() + ": " + std::to_string(pages) +
                           " pages\n")
        << "the full path of the PDF";
    EXPECT_EQ(pdfPages(pdf), pages);
    EXPECT_EQ(run.err.find("page 1 of"), std::string::npos) << "progress only on a terminal";
}

TEST_F(CliPdf, FailuresHaveTheCommandsExitCodes) {
    const std::string file = example("saints.mid");
    const std::string pdf = out + "/x.pdf";
    EXPECT_EQ(runCli("cli_view", "pdf " + quoted(file)).status, 2);
    EXPECT_EQ(runCli("cli_view", "pdf " + quoted(file) + " " + quoted(pdf) + " --mode tin").status,
              2);
    EXPECT_EQ(runCli("cli_view", "pdf " + quoted(file) + " " + quoted(pdf) + " --beats-per-line 49")
                  .status,
              2);
    EXPECT_EQ(
        runCli("cli_view", "pdf " + quoted(file) + " " + quoted(pdf) + " --bass --no-bass").status,
        2);
    EXPECT_EQ(
        runCli("cli_view", "pdf " + quoted(file) + " " + quoted(pdf) + " --diatonic Nope").status,
        2);
    const auto missing = runCli("cli_view", "pdf " + quoted(out + "/none.mid") + " " + quoted(pdf));
    EXPECT_EQ(missing.status, LoadCannotOpen);
    EXPECT_FALSE(std::filesystem::exists(pdf));
    const auto unwritable =
        runCli("cli_view", "pdf " + quoted(file) + " " + quoted(out + "/no/such/folder/x.pdf"));
    EXPECT_EQ(unwritable.status, 5) << unwritable.err;
    const auto help = runCli("cli_view", "pdf --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: reedtab-cli pdf FILE OUT.pdf"), std::string::npos);
}

TEST_F(CliPdf, TheHelperIsFoundBesideTheProgramAndItsAbsenceIsSaid) {
    // reedtab-cli starts the helper in its place; alone in a folder it says what it missed.
    namespace fs = std::filesystem;
    const fs::path cli = REEDTAB_CLI;
    const fs::path alone = scratchFolder("cli_view", "alone");
    const std::string pdf = out + "/alone.pdf";
    fs::copy_file(cli, alone / "reedtab-cli", fs::copy_options::overwrite_existing);
    const std::string command = quoted((alone / "reedtab-cli").string()) + " pdf " +
                                quoted(example("saints.mid")) + " " + quoted(pdf);
    const std::string errors = (alone / "err").string();
    int raw = std::system((command + " 2>" + quoted(errors)).c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 6);
    EXPECT_NE(slurp(errors).find("cannot start the PDF program"), std::string::npos);
    EXPECT_FALSE(fs::exists(pdf));

    fs::copy_file(cli.parent_path() / "reedtab-cli-pdf", alone / "reedtab-cli-pdf",
                  fs::copy_options::overwrite_existing);
    raw = std::system((command + " >/dev/null 2>" + quoted(errors)).c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0) << slurp(errors);
    EXPECT_GT(pdfPages(pdf), 0);
}

TEST_F(CliPdf, OtherCommandsNeedNoDisplayEither) {
    const auto run = runCli("cli_view", "info " + quoted(example("saints.mid")));
    EXPECT_EQ(run.status, 0) << run.err;
}

} // namespace
} // namespace reedtab

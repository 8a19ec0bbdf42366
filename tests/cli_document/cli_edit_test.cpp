// reedtab-cli edit run as a process on a corpus file: every operation, the refusals and the
// exit codes.

#include "model/midisong.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <vector>

namespace reedtab {
namespace {

namespace fs = std::filesystem;

const std::string kCorpusFile = std::string(REEDTAB_CORPUS_DIR) + "/mma/bill-bailey.mid";

struct CliRun {
    int status = -1;
    std::string errors;
};

class CliEditTest : public ::testing::Test {
protected:
    fs::path folder;
    std::string in;
    std::string out;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "reedtab-cli-edit-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        in = (folder / "in.mid").string();
        out = (folder / "out.mid").string();
        ASSERT_TRUE(fs::exists(kCorpusFile)) << kCorpusFile;
        fs::copy_file(kCorpusFile, in);
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(folder, error);
    }

    CliRun edit(const std::string& operations) {
        std::string errors = (folder / "stderr.txt").string();
        std::string command = std::string(REEDTAB_CLI) + " edit '" + in + "' '" + out + "' " +
                              operations + " 2>'" + errors + "'";
        int raw = std::system(command.c_str());
        CliRun run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream stream(errors);
        std::stringstream text;
        text << stream.rdbuf();
        run.errors = text.str();
        return run;
    }
};

std::set<std::string> reportLines(const MidiSong& song) {
    std::set<std::string> lines;
    std::stringstream text(song.pairingReport);
    for (std::string line; std::getline(text, line);) {
        if (!line.empty())
            lines.insert(line);
    }
    return lines;
}

using Row = std::tuple<int, int, int32_t, int, int, int, std::string>;
std::vector<Row> rows(const MidiSong& song) {
    std::vector<Row> result;
    for (int t = 0; t < song.trackCount(); ++t) {
        for (const auto& e : song.tracks[t]->events)
            result.emplace_back(t, e->kind(), e->tick, e->status, e->data1, e->data2,
                                std::string(e->bytes()));
    }
    return result;
}

int countNotes(const MidiSong& song) {
    int notes = 0;
    for (const auto& track : song.tracks) {
        for (const auto& e : track->events)
            notes += e->isNoteOn() ? 1 : 0;
    }
    return notes;
}

TEST_F(CliEditTest, EveryOperationInTurnReadsBackWithoutNewPairingReports) {
    MidiSong original;
    ASSERT_EQ(original.loadFile(in), LoadOk);
    const auto before = reportLines(original);
    const int32_t quarter = original.division;
    const std::string marks =
        "--marks " + std::to_string(4 * quarter) + " " + std::to_string(12 * quarter) + " ";
    const std::vector<std::string> operations = {
        "--transpose 2",
        "--transpose -12",
        marks + "--transpose 5",
        marks + "--crop",
        marks + "--cut",
        marks + "--delete",
        "--silence " + std::to_string(2 * quarter) + " 1 2 10",
        "--tempo-scale 150",
        "--volume 1 60",
        marks + "--map-notes -1 -1 -1 100 20",
        "--map-notes 9 36 38 -1 -1",
        "--delete-track 1",
        "--tab-track 1",
        "--tab-track 4",
        "--transpose 3 --undo",
        marks + "--crop --undo",
        marks + "--copy --paste 0",
        marks + "--cut --paste " + std::to_string(20 * quarter) + " --undo --redo",
        marks + "--transpose 1 --silence 0 1 0 0 --delete --map-notes -1 60 62 -1 120 "
                "--volume 2 50 --tempo-scale 80 --cut --tab-track 2 --delete-track 2",
    };
    for (const std::string& operation : operations) {
        SCOPED_TRACE(operation);
        std::error_code error;
        fs::remove(out, error);
        CliRun run = edit(operation);
        ASSERT_EQ(run.status, 0) << run.errors;
        MidiSong edited;
        ASSERT_EQ(edited.loadFile(out), LoadOk);
        EXPECT_FALSE(edited.truncated);
        for (const std::string& line : reportLines(edited))
            EXPECT_TRUE(before.count(line)) << "new pairing report entry: " << line;
        EXPECT_EQ(edited.unfinishedCount + edited.discardedCount + edited.correctedCount, 0);
    }
}

TEST_F(CliEditTest, OperationsDoWhatTheySay) {
    MidiSong original;
    ASSERT_EQ(original.loadFile(in), LoadOk);

    ASSERT_EQ(edit("--transpose 3 --undo").status, 0);
    MidiSong undone;
    ASSERT_EQ(undone.loadFile(out), LoadOk);
    EXPECT_EQ(rows(undone), rows(original)) << "an undo gives the song back event for event";

    ASSERT_EQ(edit("--delete-track 1").status, 0);
    MidiSong fewer;
    ASSERT_EQ(fewer.loadFile(out), LoadOk);
    EXPECT_EQ(fewer.trackCount(), original.trackCount() - 1);

    ASSERT_EQ(edit("--tab-track 1").status, 0);
    MidiSong tab;
    ASSERT_EQ(tab.loadFile(out), LoadOk);
    ASSERT_EQ(tab.trackCount(), original.trackCount() + 1);
    EXPECT_EQ(tab.tracks.back()->name, "Tablature by Reedtab Midi");
    EXPECT_EQ(countNotes(tab), countNotes(original));

    const int32_t quarter = original.division;
    ASSERT_EQ(edit("--marks 0 " + std::to_string(8 * quarter) + " --crop").status, 0);
    MidiSong cropped;
    ASSERT_EQ(cropped.loadFile(out), LoadOk);
    EXPECT_LE(cropped.length, 8 * quarter);
    EXPECT_LT(countNotes(cropped), countNotes(original));
}

TEST_F(CliEditTest, UndoAndRedoStepThroughEveryOperation) {
    MidiSong original;
    ASSERT_EQ(original.loadFile(in), LoadOk);
    const int32_t quarter = original.division;
    const std::string marks = "--marks 0 " + std::to_string(32 * quarter) + " ";

    ASSERT_EQ(edit("--transpose 2 --transpose -12").status, 0);
    MidiSong both;
    ASSERT_EQ(both.loadFile(out), LoadOk);
    // Transpositions in a row are one step: two undos take back the crop too.
    ASSERT_EQ(edit(marks + "--crop --transpose 2 --transpose -12 --undo --undo").status, 0);
    MidiSong undone;
    ASSERT_EQ(undone.loadFile(out), LoadOk);
    EXPECT_EQ(rows(undone), rows(original));
    EXPECT_EQ(edit(marks + "--crop --transpose 2 --transpose -12 --undo --undo --undo").status, 2);
    ASSERT_EQ(edit(marks + "--crop --undo --redo --undo").status, 0);
    ASSERT_EQ(undone.loadFile(out), LoadOk);
    EXPECT_EQ(rows(undone), rows(original));
    ASSERT_EQ(edit("--transpose 2 --transpose -12 --undo --redo").status, 0);
    MidiSong redone;
    ASSERT_EQ(redone.loadFile(out), LoadOk);
    EXPECT_EQ(rows(redone), rows(both));
    CliRun nothing = edit("--transpose 2 --redo");
    EXPECT_EQ(nothing.status, 2);
    EXPECT_EQ(nothing.errors, "reedtab-cli edit: --redo refused: Sorry, can't redo\n");
}

TEST_F(CliEditTest, CutCopiesFirstAndPasteGoesOnTheSameTracks) {
    MidiSong original;
    ASSERT_EQ(original.loadFile(in), LoadOk);
    const int32_t quarter = original.division;
    const int32_t end = original.length + 4 * quarter;
    const std::string marks = "--marks 0 " + std::to_string(8 * quarter) + " ";
    auto notesFrom = [](const MidiSong& song, int32_t from) {
        std::vector<std::tuple<int, int32_t, int, int32_t>> notes;
        for (int t = 0; t < song.trackCount(); ++t)
            for (const auto& e : song.tracks[static_cast<size_t>(t)]->events)
                if (e->isNoteOn() && e->tick >= from)
                    notes.emplace_back(t, e->tick - from, e->data1, e->duration);
        std::sort(notes.begin(), notes.end());
        return notes;
    };

    ASSERT_EQ(edit(marks + "--copy --paste " + std::to_string(end)).status, 0);
    MidiSong copied;
    ASSERT_EQ(copied.loadFile(out), LoadOk);
    ASSERT_EQ(edit(marks + "--cut --paste " + std::to_string(end)).status, 0);
    MidiSong cut;
    ASSERT_EQ(cut.loadFile(out), LoadOk);
    const auto pasted = notesFrom(copied, end);
    ASSERT_FALSE(pasted.empty());
    EXPECT_EQ(notesFrom(cut, end), pasted) << "cut puts on the clip what copy does";
    EXPECT_LT(countNotes(cut), countNotes(copied)) << "and takes it out of the song";
    EXPECT_EQ(countNotes(copied), countNotes(original) + static_cast<int>(pasted.size()));

    // The clip's tracks keep their indexes; a song without them leaves their events out.
    const int last = original.trackCount() - 1;
    CliRun skipped =
        edit("--marks 0 -1 --copy --delete-track " + std::to_string(last) + " --paste 0");
    EXPECT_EQ(skipped.status, 0);
    EXPECT_NE(skipped.errors.find("1 track(s) copied from are not in the song"), std::string::npos)
        << skipped.errors;
    MidiSong doubled;
    ASSERT_EQ(doubled.loadFile(out), LoadOk);
    int others = 0;
    for (const auto& note : notesFrom(original, 0))
        others += std::get<0>(note) != last;
    EXPECT_EQ(countNotes(doubled), 2 * others) << "every other track got its notes again";

    CliRun empty = edit("--paste 0");
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.errors.find("nothing to paste"), std::string::npos) << empty.errors;
}

TEST_F(CliEditTest, HelpNamesEveryOperation) {
    std::string errors = (folder / "help.txt").string();
    std::string command = std::string(REEDTAB_CLI) + " edit --help >'" + errors + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream stream(errors);
    std::stringstream text;
    text << stream.rdbuf();
    for (const char* operation : {"--undo", "--redo", "--copy", "--cut", "--paste TICK"})
        EXPECT_NE(text.str().find(operation), std::string::npos) << operation;
}

TEST_F(CliEditTest, RefusalsExitTwoAndWriteNothing) {
    for (const std::string& operation :
         {std::string("--crop"), std::string("--cut"), std::string("--delete"),
          std::string("--undo"), std::string("--redo"), std::string("--copy"),
          std::string("--paste 0"), std::string("--delete-track 99"), std::string("--transpose 0"),
          std::string("--marks 500 100"), std::string("--map-notes 16 -1 -1 -1 -1"),
          std::string("--tab-track 7"), std::string("--volume 1 300"),
          std::string("--silence 0 0 0 0")}) {
        SCOPED_TRACE(operation);
        std::error_code error;
        fs::remove(out, error);
        CliRun run = edit(operation);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.errors.find("refused"), std::string::npos) << run.errors;
        EXPECT_FALSE(fs::exists(out));
    }
    EXPECT_EQ(edit("--undo").errors, "reedtab-cli edit: --undo refused: Sorry, can't undo\n");
}

TEST_F(CliEditTest, UsageReadAndWriteFailures) {
    EXPECT_EQ(edit("").status, 2) << "no operation";
    EXPECT_EQ(edit("--transpose").status, 2);
    EXPECT_EQ(edit("--transpose up").status, 2);
    EXPECT_EQ(edit("--frobnicate").status, 2);
    in = (folder / "missing.mid").string();
    CliRun missing = edit("--transpose 1");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.errors.find("missing.mid"), std::string::npos);
    in = (folder / "in.mid").string();
    out = (folder / "no" / "such" / "folder.mid").string();
    CliRun unwritable = edit("--transpose 1");
    EXPECT_EQ(unwritable.status, 5);
    EXPECT_NE(unwritable.errors.find("folder.mid"), std::string::npos);
}

} // namespace
} // namespace reedtab

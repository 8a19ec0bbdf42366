// reedtab-cli edit IN OUT OPERATION...: reads IN, applies the operations in order through the
// document's own edits (so undo is recorded exactly as in the program) and writes OUT.

#include "cli/args.h"
#include "cli/songfile.h"
#include "document/documentui.h"
#include "document/playercontrol.h"
#include "document/reedtabdoc.h"
#include "settings/settings.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace reedtab::cli {

namespace {

constexpr const char* kName = "edit";

constexpr const char* kHelp =
    "usage: reedtab-cli edit IN OUT OPERATION...\n"
    "\n"
    "Reads IN, applies the operations in the order given and writes OUT.\n"
    "\n"
    "operations:\n"
    "  --marks FROM TO          selection marks in ticks (-1 leaves that side open)\n"
    "  --transpose N            transpose every track by N half steps over the marks\n"
    "  --crop                   keep only the marked range\n"
    "  --copy                   copy the marked range of the shown or selected tracks: the\n"
    "                           parts of notes inside it and every other event there but\n"
    "                           controllers, programs, tempos, signatures and names\n"
    "  --cut                    copy, then delete the marked range of the shown or selected\n"
    "                           tracks\n"
    "  --paste TICK             paste what was copied at TICK, each event on the track of its\n"
    "                           index (tracks the song does not have are left out)\n"
    "  --delete                 delete the marked range of every track, closing the gap\n"
    "  --silence AT BARS BEATS TICKS\n"
    "                           insert silence at tick AT\n"
    "  --tempo-scale PERCENT    bake a playback tempo of PERCENT into the tempo events\n"
    "  --volume TRACK PERCENT   bake a track volume of PERCENT (0..255) into its velocities\n"
    "  --map-notes CHANNEL FROM TO STARTPCT ENDPCT\n"
    "                           map notes over the marks: CHANNEL 0..15 (9 = drums), notes\n"
    "                           0..127, percentages 0..250; -1 means any or untouched\n"
    "  --delete-track N         delete track N (counted from 0)\n"
    "  --tab-track MODE         add the tablature text track for MODE (0 C notes, 1 diatonic,\n"
    "                           2 chromatic, 3 B-flat notes, 4 E-flat notes)\n"
    "  --undo                   undo the last operation (repeat it for more)\n"
    "  --redo                   redo the last operation undone\n"
    "\n"
    "Exit status: 0 written; 1, 3 or 4 when IN cannot be read (the reader's result);\n"
    "5 when OUT cannot be written; 2 for a usage error or a refused operation (nothing\n"
    "is written then).\n";

// Remembers the last message the document showed, so that a refusal can say why.
class CliUi : public QuietDocumentUi {
public:
    std::string lastMessage;

    void messageBox(const std::string& text, const std::string&, MessageIcon) override {
        lastMessage = text;
    }
};

struct Operation {
    std::string name;
    std::vector<long> values;
};

struct OperationForm {
    const char* name;
    size_t argumentCount;
};

constexpr OperationForm kOperations[] = {
    {"--marks", 2},       {"--transpose", 1}, {"--crop", 0},      {"--copy", 0},
    {"--cut", 0},         {"--paste", 1},     {"--delete", 0},    {"--silence", 4},
    {"--tempo-scale", 1}, {"--volume", 2},    {"--map-notes", 5}, {"--delete-track", 1},
    {"--tab-track", 1},   {"--undo", 0},      {"--redo", 0},
};

bool inRange(long value, long low, long high) {
    return value >= low && value <= high;
}

// Runs one operation; returns "" when done, else why it was refused.
std::string apply(CReedtabDoc& doc, CliUi& ui, const Operation& op) {
    const auto& v = op.values;
    ui.lastMessage.clear();
    if (op.name == "--marks") {
        if (doc.song.tracks.empty())
            return "the song has no tracks";
        if (!inRange(v[0], -1, INT32_MAX) || !inRange(v[1], -1, INT32_MAX))
            return "marks are ticks, or -1 for open";
        if (v[0] != -1 && v[1] != -1 && v[0] >= v[1])
            return "the beginning mark must lie before the end mark";
        doc.markBegin = static_cast<int32_t>(v[0]);
        doc.markEnd = static_cast<int32_t>(v[1]);
        return {};
    }
    if (op.name == "--transpose") {
        if (v[0] == 0 || !inRange(v[0], -127, 127))
            return "transpose by -127..127 half steps, not 0";
        if (doc.transposeCommand(static_cast<int>(v[0]), true) != 0)
            return "the song has no tracks";
        return {};
    }
    if (op.name == "--crop")
        return doc.crop() == 0 ? "" : "crop needs tracks and a mark (--marks)";
    if (op.name == "--copy")
        return doc.copySelection() == 0 ? ""
                                        : "copy needs tracks and a mark (--marks) with events "
                                          "inside the range";
    if (op.name == "--cut")
        return doc.cut() == 0 ? "" : "cut needs tracks and a mark (--marks)";
    if (op.name == "--paste") {
        if (!doc.canPaste())
            return "nothing to paste (--copy or --cut first)";
        if (!inRange(v[0], 0, INT32_MAX))
            return "paste at a tick >= 0";
        int skipped = 0;
        if (doc.paste(static_cast<int32_t>(v[0]), &skipped) < 0)
            return "what was copied would end past the last tick a song can hold";
        if (skipped > 0)
            std::fprintf(stderr,
                         "reedtab-cli edit: --paste: %d track(s) copied from are not in the "
                         "song; their events were left out\n",
                         skipped);
        return {};
    }
    if (op.name == "--delete")
        return doc.deleteSelection() == 0 ? "" : "delete needs tracks and a mark (--marks)";
    if (op.name == "--silence") {
        if (!inRange(v[0], 0, INT32_MAX) || !inRange(v[1], 0, 9999) || !inRange(v[2], 0, 9999) ||
            !inRange(v[3], 0, INT32_MAX))
            return "silence needs a tick AT >= 0 and counts of bars, beats and ticks >= 0";
        doc.cursorTick = static_cast<int32_t>(v[0]);
        if (doc.insertSilence(static_cast<int>(v[1]), static_cast<int>(v[2]),
                              static_cast<int>(v[3])) != 0)
            return "nothing to insert (no tracks, or a length of 0)";
        return {};
    }
    if (op.name == "--tempo-scale") {
        if (!inRange(v[0], 1, 10000))
            return "the tempo percentage must be 1..10000";
        if (doc.applyTempoScaleEdit(static_cast<int>(v[0])) != 0)
            return "the song has no tempo events";
        return {};
    }
    if (op.name == "--volume") {
        if (!doc.song.track(static_cast<int>(v[0])) || !inRange(v[0], 0, INT32_MAX))
            return "no track " + std::to_string(v[0]);
        if (!inRange(v[1], 0, 255))
            return "the volume percentage must be 0..255";
        doc.setTrackVolume(static_cast<int>(v[0]), static_cast<int>(v[1]));
        doc.applyTrackVolumeEdit(static_cast<int>(v[0]), true);
        return {};
    }
    if (op.name == "--map-notes") {
        if (!inRange(v[0], -1, 15))
            return "the channel must be -1 (any) or 0..15";
        if (!inRange(v[1], -1, 127) || !inRange(v[2], -1, 127))
            return "notes must be -1 or 0..127";
        if (!inRange(v[3], -1, 250) || !inRange(v[4], -1, 250))
            return "percentages must be -1 or 0..250";
        if (doc.mapNotes(static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                         static_cast<int>(v[3]), static_cast<int>(v[4])) < 0)
            return "the song has no tracks";
        return {};
    }
    if (op.name == "--delete-track") {
        if (!inRange(v[0], 0, INT32_MAX) || !doc.song.track(static_cast<int>(v[0])))
            return "no track " + std::to_string(v[0]);
        if (doc.deleteTrackEdit(static_cast<int>(v[0]), true) != 0)
            return "the last track cannot be deleted";
        return {};
    }
    if (op.name == "--tab-track") {
        if (!inRange(v[0], 0, 4))
            return "the tablature mode must be 0..4";
        settings().tabMode = static_cast<int>(v[0]);
        if (doc.tablatureToTextTrack() != 0)
            return ui.lastMessage.empty() ? "the song has no tracks" : ui.lastMessage;
        return {};
    }
    if (op.name == "--undo") {
        if (!doc.undo())
            return ui.lastMessage;
        return {};
    }
    if (op.name == "--redo") {
        if (!doc.redo())
            return ui.lastMessage;
        return {};
    }
    return "unknown operation";
}

int run(const std::vector<std::string>& words) {
    std::vector<std::string> positionals;
    std::vector<Operation> operations;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.rfind("--", 0) != 0) {
            positionals.push_back(word);
            continue;
        }
        const OperationForm* form = nullptr;
        for (const auto& candidate : kOperations) {
            if (word == candidate.name)
                form = &candidate;
        }
        if (!form)
            return usageError(kName, "unknown operation " + word);
        Operation op{word, {}};
        for (size_t k = 0; k < form->argumentCount; ++k) {
            if (i + 1 >= words.size())
                return usageError(kName, word + " needs " + std::to_string(form->argumentCount) +
                                             " numbers");
            auto value = parseInt(words[++i]);
            if (!value)
                return usageError(kName, word + ": \"" + words[i] + "\" is not a whole number");
            op.values.push_back(*value);
        }
        operations.push_back(std::move(op));
    }
    if (positionals.size() != 2)
        return usageError(kName, "expected IN and OUT (see --help)");
    if (operations.empty())
        return usageError(kName, "no operation given (see --help)");

    CliUi ui;
    IdlePlayerControl player;
    CReedtabDoc doc(ui, player);
    int result = doc.openDocument(positionals[0]);
    if (result != LoadOk) {
        // The same one-line reason as every other command that reads a song.
        MidiSong unread;
        return loadSongReporting(kName, positionals[0], unread);
    }
    if (doc.song.truncated)
        std::fprintf(stderr, "%s\n", MidiSong::truncationWarning);
    for (const Operation& op : operations) {
        std::string refusal = apply(doc, ui, op);
        if (!refusal.empty()) {
            std::fprintf(stderr, "reedtab-cli edit: %s refused: %s\n", op.name.c_str(),
                         refusal.c_str());
            return kUsageError;
        }
    }
    if (!doc.saveDocumentAs(positionals[1])) {
        std::fprintf(stderr, "reedtab-cli edit: %s: cannot write the file\n",
                     positionals[1].c_str());
        return kWriteFailed;
    }
    return 0;
}

const bool registered =
    registerCommand({kName, "apply edit operations to a MIDI file", kHelp, run});

} // namespace

} // namespace reedtab::cli

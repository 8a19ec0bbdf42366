#pragma once

// The options of the commands that choose fingerings for a phrase (tab, pdf, optimize):
// --optimize, --track N, --avoid-bends, --avoid-overblows; and the one harmonica that
// --diatonic or --chromatic names for the commands that work on one harp.

#include "cli/args.h"
#include "cli/tuningoption.h"
#include "document/songedits.h"
#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "harmonica/fingeringoptimizer.h"
#include "harmonica/harpfinder.h"
#include "model/midisong.h"

#include <optional>
#include <string>

namespace reedtab::cli {

struct FingeringRequest {
    bool optimize = false;
    /// The track to work on; -1: the melody track the harp finder picks.
    int track = -1;
    FingeringOptions options;
};

/// Takes --optimize (when `optimizeFlag`), --track, --avoid-bends and --avoid-overblows out of
/// `args`; nullopt (reason in `message`) for a bad track number.
inline std::optional<FingeringRequest> fingeringRequest(Args& args, bool optimizeFlag,
                                                        std::string& message) {
    FingeringRequest request;
    request.optimize = !optimizeFlag || args.flag("--optimize");
    request.options.avoidBends = args.flag("--avoid-bends");
    request.options.avoidOverblows = args.flag("--avoid-overblows");
    if (const auto track = args.intOption("--track")) {
        if (*track < 0 || *track > 65535) {
            message = "--track takes a track number from 0";
            return std::nullopt;
        }
        request.track = static_cast<int>(*track);
    }
    return request;
}

/// The track a request works on in `song`: the one given, else the melody track (-1 when the
/// song has no notes). Prints a one-line reason and returns nullopt for a track the song lacks.
inline std::optional<int> requestTrack(const char* command, const FingeringRequest& request,
                                       const MidiSong& song) {
    if (request.track < 0) {
        return melodyTrack(song);
    }
    if (!song.track(request.track)) {
        std::fprintf(stderr, "reedtab-cli %s: the song has no track %d\n", command, request.track);
        return std::nullopt;
    }
    return request.track;
}

/// Chooses the fingerings of `track` from `from` to `to` on `layout` (notes marked first);
/// returns how many notes changed their fingering.
inline int optimizeTrack(MidiSong& song, int track, int32_t from, int32_t to,
                         const HarmonicaLayout& layout, const FingeringOptions& options) {
    return std::max(0, optimizeFingerings(song, track, from, to, layout, options));
}

/// A harmonica of each kind over settings of their own, for the commands that work on one.
struct Harmonicas {
    Settings block;
    DiatonicLayout diatonic{block};
    ChromaticLayout chromatic{block};

    /// The one that --diatonic or --chromatic names (at most one of them; the diatonic
    /// "Major Diatonic (Richter)" when neither), built at `key`. Prints a one-line reason and
    /// returns null when refused.
    HarmonicaLayout* choose(const char* command, const std::optional<std::string>& diatonicName,
                            const std::optional<std::string>& chromaticName, int key) {
        if (diatonicName && chromaticName) {
            usageError(command, "--diatonic and --chromatic exclude each other");
            return nullptr;
        }
        if (chromaticName) {
            return selectTuning(command, "chromatic", chromatic, *chromaticName, key) ? &chromatic
                                                                                      : nullptr;
        }
        return selectTuning(command, "diatonic", diatonic,
                            diatonicName.value_or(diatonic.tuningName(0)), key)
                   ? &diatonic
                   : nullptr;
    }
};

} // namespace reedtab::cli

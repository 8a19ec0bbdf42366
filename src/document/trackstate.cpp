// The document's track-state operations: mute, solo, shown, selected and volume.

#include "document/reedtabdoc.h"

#include "model/miditrack.h"

#include <algorithm>

namespace reedtab {

namespace {

constexpr std::uint16_t kStateFlags = TrackShown | TrackSelected | TrackMuted;

// Sets or clears `flags` on `track`; true when that changed it.
bool putFlags(MidiTrack& track, std::uint16_t flags, bool on) {
    const std::uint16_t before = track.flags.load();
    const auto after = static_cast<std::uint16_t>(on ? before | flags : before & ~flags);
    track.flags.store(after);
    return after != before;
}

} // namespace

int CReedtabDoc::setTrackFlag(int trackIndex, std::uint16_t flags, bool on) {
    MidiTrack* track = song.track(trackIndex);
    if (!track || (flags & ~kStateFlags) != 0) {
        return -1;
    }
    if (putFlags(*track, flags, on)) {
        notify({TracksChanged});
    }
    return 0;
}

int CReedtabDoc::setTrackFlags(std::uint16_t flags, const std::vector<bool>& on) {
    if ((flags & ~kStateFlags) != 0) {
        return -1;
    }
    bool changed = false;
    for (std::size_t i = 0; i < song.tracks.size(); ++i) {
        changed = putFlags(*song.tracks[i], flags, i < on.size() && on[i]) || changed;
    }
    if (changed) {
        notify({TracksChanged});
    }
    return 0;
}

int CReedtabDoc::showTrackOnly(int trackIndex) {
    if (!song.track(trackIndex)) {
        return -1;
    }
    std::vector<bool> only(song.tracks.size());
    only[static_cast<std::size_t>(trackIndex)] = true;
    return setTrackFlags(TrackShown, only);
}

void CReedtabDoc::showAllTracks() {
    setTrackFlags(TrackShown, std::vector<bool>(song.tracks.size(), true));
}

int CReedtabDoc::setTrackVolume(int trackIndex, int percent) {
    MidiTrack* track = song.track(trackIndex);
    if (!track) {
        return -1;
    }
    track->volumePercent.store(static_cast<std::uint8_t>(std::clamp(percent, 0, 255)));
    return 0;
}

} // namespace reedtab

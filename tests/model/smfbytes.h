#pragma once

// Builds Standard MIDI File bytes for reader tests: a header and track chunks from raw event
// bytes, with the chunk lengths filled in.

#include "model/midisong.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace reedtab::test {

using Bytes = std::vector<uint8_t>;

inline void append32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>((v >> shift) & 0xFF));
}

inline Bytes header(int format, int tracks, int division) {
    Bytes out = {'M', 'T', 'h', 'd'};
    append32(out, 6);
    out.push_back(static_cast<uint8_t>(format >> 8));
    out.push_back(static_cast<uint8_t>(format));
    out.push_back(static_cast<uint8_t>(tracks >> 8));
    out.push_back(static_cast<uint8_t>(tracks));
    out.push_back(static_cast<uint8_t>(division >> 8));
    out.push_back(static_cast<uint8_t>(division));
    return out;
}

inline Bytes chunk(const Bytes& events) {
    Bytes out = {'M', 'T', 'r', 'k'};
    append32(out, static_cast<uint32_t>(events.size()));
    out.insert(out.end(), events.begin(), events.end());
    return out;
}

/// A whole file: header plus one chunk per event list.
inline Bytes smf(int format, int division, std::initializer_list<Bytes> tracks) {
    Bytes out = header(format, static_cast<int>(tracks.size()), division);
    for (const Bytes& t : tracks) {
        Bytes c = chunk(t);
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

inline int load(MidiSong& song, const Bytes& bytes) {
    return song.loadMemory(bytes.data(), bytes.size());
}

/// Kinds of a track's events, in order.
inline std::vector<int> kinds(const MidiTrack& track) {
    std::vector<int> out;
    for (const auto& e : track.events)
        out.push_back(e->kind());
    return out;
}

/// Ticks of a track's events, in order.
inline std::vector<int32_t> ticks(const MidiTrack& track) {
    std::vector<int32_t> out;
    for (const auto& e : track.events)
        out.push_back(e->tick);
    return out;
}

/// A fresh temporary directory under the build folder, emptied first.
std::string scratchDir(const std::string& name);

/// The whole content of a file ("" when it cannot be read).
std::string readFile(const std::string& path);

} // namespace reedtab::test

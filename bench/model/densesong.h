#pragma once

// A large generated MIDI file for the benchmarks that read or edit one.

#include <cstdint>
#include <cstdio>
#include <string>

namespace reedtab::bench {

inline void putVarLen(std::string& out, uint32_t v) {
    char groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<char>(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n-- > 0)
        out.push_back(static_cast<char>(groups[n] | (n ? 0x80 : 0)));
}

inline void put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

// 16 tracks of dense music as a sequencer writes it: running status, note-offs as velocity-0
// note-ons, a controller now and then. Returns the file bytes; `events` gets the event count.
inline std::string makeDenseFile(int eventsPerTrack, long& events) {
    std::string file = "MThd";
    put32(file, 6);
    file += std::string("\x00\x01\x00\x10\x01\xE0", 6);
    events = 0;
    uint32_t seed = 12345;
    auto random = [&seed](uint32_t range) {
        seed = seed * 1103515245 + 12345;
        return (seed >> 16) % range;
    };
    for (int t = 0; t < 16; ++t) {
        std::string body;
        int channel = t;
        body += std::string("\x00\xFF\x03\x05Track", 9);
        body +=
            std::string("\x00", 1) + static_cast<char>(0xC0 | channel) + static_cast<char>(t * 5);
        events += 2;
        int written = 2;
        while (written + 3 < eventsPerTrack) {
            if (random(16) == 0) {
                putVarLen(body, random(10));
                body += static_cast<char>(0xB0 | channel);
                body += static_cast<char>(7);
                body += static_cast<char>(random(128));
                ++written;
            }
            int key = 40 + static_cast<int>(random(40));
            putVarLen(body, random(60));
            body += static_cast<char>(0x90 | channel);
            body += static_cast<char>(key);
            body += static_cast<char>(40 + random(80));
            putVarLen(body, 1 + random(240));
            body += static_cast<char>(key); // running status, velocity 0 ends the note
            body += static_cast<char>(0);
            written += 2;
        }
        body += std::string("\x00\xFF\x2F\x00", 4);
        ++written;
        events += written - 2;
        file += "MTrk";
        put32(file, static_cast<uint32_t>(body.size()));
        file += body;
    }
    return file;
}

// Writes `bytes` to `path`; false, after a message naming `program`, when it cannot.
inline bool writeBenchFile(const char* program, const std::string& path, const std::string& bytes) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        return std::fclose(f) == 0 && written;
    }
    std::fprintf(stderr, "%s: cannot write %s\n", program, path.c_str());
    return false;
}

} // namespace reedtab::bench

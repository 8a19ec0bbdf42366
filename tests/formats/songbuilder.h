#pragma once

// Songs for the format tests, written as Standard MIDI File bytes and read by the program's own
// reader, so that they hold exactly what a file would.

#include "model/midisong.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace reedtab::testing {

class SongBuilder {
public:
    explicit SongBuilder(int tracks) : tracks_(static_cast<std::size_t>(tracks)) {}

    SongBuilder& note(int track, int key, int32_t on, int32_t off, int channel = 0) {
        add(track, on, {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key), 100});
        // Note-offs sort before note-ons of their tick (rank 0), as a file written in time
        // order has them.
        add(track, off, {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0}, 0);
        return *this;
    }
    SongBuilder& program(int track, int channel, int program) {
        return add(track, 0, {static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(program)});
    }
    SongBuilder& name(int track, const std::string& text) { return meta(track, 0, 3, text); }
    SongBuilder& lyric(int track, int32_t tick, const std::string& text) {
        return meta(track, tick, 5, text);
    }
    SongBuilder& text(int track, int32_t tick, const std::string& text) {
        return meta(track, tick, 1, text);
    }
    SongBuilder& tempo(int32_t tick, int microsPerQuarter) {
        return meta(0, tick, 0x51,
                    {static_cast<char>(microsPerQuarter >> 16),
                     static_cast<char>(microsPerQuarter >> 8),
                     static_cast<char>(microsPerQuarter)});
    }
    SongBuilder& time(int32_t tick, int numerator, int denominator) {
        int power = 0;
        while ((1 << power) < denominator) {
            ++power;
        }
        return meta(0, tick, 0x58, {static_cast<char>(numerator), static_cast<char>(power), 24, 8});
    }
    SongBuilder& key(int32_t tick, int sharpsFlats, bool minor) {
        return meta(0, tick, 0x59, {static_cast<char>(sharpsFlats), static_cast<char>(minor)});
    }

    std::string bytes(int division) const {
        std::string file = "MThd";
        put32(file, 6);
        put16(file, 1);
        put16(file, static_cast<uint32_t>(tracks_.size()));
        put16(file, static_cast<uint32_t>(division));
        for (auto events : tracks_) {
            std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
                return a.tick != b.tick ? a.tick < b.tick : a.rank < b.rank;
            });
            std::string body;
            int32_t now = 0;
            for (const Event& e : events) {
                putDelta(body, static_cast<uint32_t>(e.tick - now));
                now = e.tick;
                body += e.bytes;
            }
            body += std::string("\x00\xFF\x2F\x00", 4);
            file += "MTrk";
            put32(file, static_cast<uint32_t>(body.size()));
            file += body;
        }
        return file;
    }

    /// Reads the bytes into `song` and marks its notes as the view does (drums left out).
    void load(MidiSong& song, int division = 480) const {
        const std::string data = bytes(division);
        ASSERT_EQ(song.loadMemory(data.data(), data.size()), LoadOk);
        for (const auto& track : song.tracks) {
            for (const auto& event : track->events) {
                event->isNote =
                    event->isNoteOn() && event->duration > 0 && event->channel() != 9 ? 1 : 0;
            }
        }
    }

private:
    struct Event {
        int32_t tick;
        int rank;
        std::string bytes;
    };

    SongBuilder& add(int track, int32_t tick, std::initializer_list<uint8_t> bytes, int rank = 1) {
        tracks_[static_cast<std::size_t>(track)].push_back(
            {tick, rank, std::string(bytes.begin(), bytes.end())});
        return *this;
    }
    SongBuilder& meta(int track, int32_t tick, int type, const std::string& data) {
        std::string bytes = {'\xFF', static_cast<char>(type)};
        putDelta(bytes, static_cast<uint32_t>(data.size()));
        tracks_[static_cast<std::size_t>(track)].push_back({tick, 0, bytes + data});
        return *this;
    }
    static void put16(std::string& out, uint32_t v) {
        out += static_cast<char>(v >> 8);
        out += static_cast<char>(v);
    }
    static void put32(std::string& out, uint32_t v) {
        put16(out, v >> 16);
        put16(out, v & 0xFFFF);
    }
    static void putDelta(std::string& out, uint32_t v) {
        std::string groups(1, static_cast<char>(v & 0x7F));
        while (v >>= 7) {
            groups.insert(groups.begin(), static_cast<char>(0x80 | (v & 0x7F)));
        }
        out += groups;
    }

    std::vector<std::vector<Event>> tracks_;
};

} // namespace reedtab::testing

// Writing a MidiSong as a Standard MIDI File.

#include "model/midisong.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace reedtab {

namespace {

void put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
    out.push_back(static_cast<char>(v & 0xFF));
}

void put32(std::string& out, uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}

size_t putVarLen(std::string& out, uint32_t v) {
    char groups[5];
    size_t n = 0;
    do {
        groups[n++] = static_cast<char>(v & 0x7F);
        v >>= 7;
    } while (v);
    for (size_t i = n; i-- > 0;)
        out.push_back(static_cast<char>(groups[i] | (i ? 0x80 : 0)));
    return n;
}

void putBytes(std::string& out, const MidiEvent& e, uint32_t from) {
    if (e.data && e.dataLength > from)
        out.append(reinterpret_cast<const char*>(e.data.get()) + from, e.dataLength - from);
}

// Message bytes of one event; false for the base kind, which has no file form.
bool putMessage(std::string& out, const MidiEvent& e) {
    int kind = e.kind();
    if (kind & KindFamilyChannel) {
        out.push_back(static_cast<char>(e.status));
        out.push_back(static_cast<char>(e.data1));
        if (kind != KindProgram && kind != KindChannelPressure)
            out.push_back(static_cast<char>(e.data2));
    } else if (kind & KindFamilyMeta) {
        out.push_back(static_cast<char>(0xFF));
        out.push_back(static_cast<char>(e.metaType));
        putVarLen(out, e.dataLength);
        putBytes(out, e, 0);
    } else if (kind == KindSysEx) {
        // The stored message starts with its F0, which the F0 form writes only once.
        out.push_back(static_cast<char>(0xF0));
        putVarLen(out, e.dataLength > 0 ? e.dataLength - 1 : 0);
        putBytes(out, e, 1);
    } else if (kind == KindStrangeSysEx) {
        out.push_back(static_cast<char>(0xF7));
        putVarLen(out, e.dataLength);
        putBytes(out, e, 0);
    } else {
        return false;
    }
    return true;
}

// The fingering event of a note-on, without its delta time.
void putFingering(std::string& out, const MidiEvent& note) {
    out.push_back(static_cast<char>(0xFF));
    out.push_back(static_cast<char>(MetaSequencerSpecific));
    putVarLen(out, kFingeringLength);
    out.append(reinterpret_cast<const char*>(kFingeringTag), sizeof(kFingeringTag));
    out.push_back(static_cast<char>(note.channel()));
    out.push_back(static_cast<char>(note.data1 & 0x7F));
    out.push_back(static_cast<char>(note.fingering >> 8));
    out.push_back(static_cast<char>(note.fingering & 0xFF));
}

std::string encode(const MidiSong& song) {
    std::string out;
    out.append("MThd");
    put32(out, 6);
    put16(out, static_cast<uint16_t>(song.format));
    put16(out, static_cast<uint32_t>(song.tracks.size()));
    put16(out, static_cast<uint16_t>(song.division));
    for (const auto& track : song.tracks) {
        out.append("MTrk");
        size_t lengthAt = out.size();
        put32(out, 0);
        int64_t previous = 0;
        for (const auto& e : track->events) {
            // An event earlier than the one before it (a track left unsorted by an edit) is
            // written at that event's time: a negative delta has no file form, and keeping the
            // previous time lets every later event keep its own.
            int64_t delta = std::max<int64_t>(int64_t{e->tick} - previous, 0);
            size_t before = out.size();
            putVarLen(out, static_cast<uint32_t>(delta));
            if (e->fingering != 0 && e->isNoteOn()) {
                putFingering(out, *e);
                out.push_back(0);
            }
            if (!putMessage(out, *e)) {
                out.resize(before);
                continue;
            }
            previous += delta;
        }
        uint32_t length = static_cast<uint32_t>(out.size() - lengthAt - 4);
        for (int i = 0; i < 4; ++i)
            out[lengthAt + static_cast<size_t>(i)] =
                static_cast<char>((length >> (24 - 8 * i)) & 0xFF);
    }
    return out;
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string MidiSong::fileBytes() const {
    if (tracks.empty() || loading)
        return {};
    return encode(*this);
}

SaveResult MidiSong::saveFile(const std::string& target) {
    if (tracks.empty())
        return SaveNoTracks;
    if (!target.empty())
        path = target;
    if (loading || path.empty())
        return SaveFailed;
    std::string bytes = encode(*this);

    // Written beside the target and renamed over it only when complete, so that a full disk or
    // a failed write never leaves the user's existing file destroyed.
    static std::atomic<unsigned> serial{0};
    std::string temporary =
        path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return SaveFailed;
    struct stat existing;
    if (::stat(path.c_str(), &existing) == 0)
        ::fchmod(fd, existing.st_mode & 07777);
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0)
        return SaveOk;
    ::unlink(temporary.c_str());
    return SaveFailed;
}

} // namespace reedtab

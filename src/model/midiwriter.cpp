// Writing a MidiSong as a Standard MIDI File.

#include "model/midisong.h"
#include "model/trackwriter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

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

void TrackWriter::add(int32_t tick, const MidiEvent& event) {
    const int64_t delta = std::max<int64_t>(int64_t{tick} - previous_, 0);
    const size_t before = out_.size();
    putVarLen(out_, static_cast<uint32_t>(delta));
    if (event.fingering != 0 && event.isNoteOn()) {
        putFingering(out_, event);
        out_.push_back(0);
    }
    if (!putMessage(out_, event)) {
        out_.resize(before);
        return;
    }
    previous_ += delta;
}

std::string TrackWriter::take() {
    previous_ = 0;
    return std::exchange(out_, {});
}

std::string trackData(const MidiTrack& track) {
    TrackWriter writer;
    for (const auto& e : track.events)
        writer.add(e->tick, *e);
    return writer.take();
}

std::string smfFile(int format, int division, std::span<const std::string> chunks) {
    size_t size = 14;
    for (const std::string& chunk : chunks)
        size += 8 + chunk.size();
    std::string out;
    out.reserve(size);
    out.append("MThd");
    put32(out, 6);
    put16(out, static_cast<uint16_t>(format));
    put16(out, static_cast<uint32_t>(chunks.size()));
    put16(out, static_cast<uint16_t>(division));
    for (const std::string& chunk : chunks) {
        out.append("MTrk");
        put32(out, static_cast<uint32_t>(chunk.size()));
        out.append(chunk);
    }
    return out;
}

std::string MidiSong::fileBytes() const {
    if (tracks.empty() || loading)
        return {};
    std::vector<std::string> chunks;
    chunks.reserve(tracks.size());
    for (const auto& track : tracks)
        chunks.push_back(trackData(*track));
    return smfFile(format, division, chunks);
}

SaveResult MidiSong::saveFile(const std::string& target) {
    if (tracks.empty())
        return SaveNoTracks;
    if (!target.empty())
        path = target;
    if (loading || path.empty())
        return SaveFailed;
    const std::string bytes = fileBytes();

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

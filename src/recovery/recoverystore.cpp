#include "recovery/recoverystore.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reedtab {

namespace {

constexpr const char* kMagic = "REEDTAB-RECOVERY 1";
constexpr const char* kDataSuffix = ".rec";
constexpr const char* kLockSuffix = ".lock";
constexpr const char* kTemporarySuffix = ".tmp";

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

// The header names the lengths of what follows, so any path and any song bytes survive, and a
// file cut short is recognised.
std::string encodeRecovery(const std::string& originalPath, const std::string& songBytes,
                           std::int64_t savedAt) {
    std::string out = std::string(kMagic) + "\n" + std::to_string(savedAt) + "\n" +
                      std::to_string(originalPath.size()) + "\n" + originalPath + "\n" +
                      std::to_string(songBytes.size()) + "\n";
    return out + songBytes;
}

void closeLock(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// The lock of a session when no running program holds it, else -1.
int tryLock(const std::string& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

RecoveryResult readRecoveryFile(const std::string& path, std::string& originalPath,
                                std::int64_t& savedAt, std::string& songBytes) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream whole;
    whole << in.rdbuf();
    const std::string text = whole.str();
    size_t at = 0;
    // The next line without its end; false when there is none.
    auto line = [&](std::string_view& out) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            return false;
        }
        out = std::string_view(text).substr(at, end - at);
        at = end + 1;
        return true;
    };
    auto number = [](std::string_view digits, auto& value) {
        const auto [end, error] = std::from_chars(digits.begin(), digits.end(), value);
        return error == std::errc() && end == digits.end() && !digits.empty();
    };
    std::string_view magic;
    std::string_view field;
    std::int64_t time = 0;
    size_t pathLength = 0;
    size_t songLength = 0;
    if (!in || !line(magic) || magic != kMagic || !line(field) || !number(field, time) ||
        !line(field) || !number(field, pathLength) || pathLength > text.size() - at) {
        return RecoveryCannotRead;
    }
    const size_t pathAt = at;
    at += pathLength;
    if (at >= text.size() || text[at] != '\n') {
        return RecoveryCannotRead;
    }
    ++at;
    if (!line(field) || !number(field, songLength) || songLength == 0 ||
        songLength != text.size() - at) {
        return RecoveryCannotRead;
    }
    originalPath = text.substr(pathAt, pathLength);
    savedAt = time;
    songBytes = text.substr(at);
    return RecoveryOk;
}

// ---- RecoveredSong ----

RecoveredSong::~RecoveredSong() {
    closeLock(lockFd_);
}

void RecoveredSong::remove() {
    // The data first: a lock file alone is cleared by the next start.
    ::unlink(dataPath_.c_str());
    ::unlink(lockPath_.c_str());
    closeLock(lockFd_);
}

// ---- RecoveryStore ----

RecoveryStore::RecoveryStore(std::string folder) : folder_(std::move(folder)) {}

RecoveryStore::~RecoveryStore() {
    discard();
    if (lockFd_ >= 0) {
        ::unlink(lockPath_.c_str());
        closeLock(lockFd_);
    }
}

bool RecoveryStore::openSession() {
    if (lockFd_ >= 0) {
        return true;
    }
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error || ::chmod(folder_.c_str(), 0700) != 0) {
        return false;
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    session_ = std::to_string(::getpid()) + "-" +
               std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    // Locked under a name of its own and then renamed, so no other program ever sees the lock
    // file of this session unlocked.
    std::string pattern = folder_ + "/new-lock-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    lockPath_ = folder_ + "/" + session_ + kLockSuffix;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(pattern.c_str(), lockPath_.c_str()) != 0) {
        ::close(fd);
        ::unlink(pattern.c_str());
        return false;
    }
    lockFd_ = fd;
    dataPath_ = folder_ + "/" + session_ + kDataSuffix;
    return true;
}

RecoveryResult RecoveryStore::write(const std::string& originalPath, const std::string& songBytes,
                                    std::int64_t savedAt) {
    if (!openSession()) {
        return RecoveryCannotWrite;
    }
    const std::string temporary = folder_ + "/" + session_ + kTemporarySuffix;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return RecoveryCannotWrite;
    }
    bool ok = writeAll(fd, encodeRecovery(originalPath, songBytes, savedAt)) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), dataPath_.c_str()) == 0) {
        return RecoveryOk;
    }
    ::unlink(temporary.c_str());
    return RecoveryCannotWrite;
}

void RecoveryStore::discard() {
    if (!dataPath_.empty()) {
        ::unlink(dataPath_.c_str());
    }
}

bool RecoveryStore::hasFile() const {
    std::error_code error;
    return !dataPath_.empty() && std::filesystem::exists(dataPath_, error);
}

std::vector<std::unique_ptr<RecoveredSong>> RecoveryStore::takeOrphans() {
    std::vector<std::unique_ptr<RecoveredSong>> orphans;
    std::error_code error;
    // Every session that left a file, by the name before its first dot.
    std::map<std::string, bool> sessions;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
        const std::string name = entry.path().filename().string();
        const size_t dot = name.find('.');
        if (dot == std::string::npos || dot == 0) {
            continue;
        }
        const std::string session = name.substr(0, dot);
        const std::string suffix = name.substr(dot);
        if (session != session_ &&
            (suffix == kDataSuffix || suffix == kLockSuffix || suffix == kTemporarySuffix)) {
            sessions[session] = sessions[session] || suffix == kDataSuffix;
        }
    }
    for (const auto& [session, hasData] : sessions) {
        const std::string base = folder_ + "/" + session;
        int lock = tryLock(base + kLockSuffix);
        if (lock < 0) {
            continue;
        }
        // A write cut off by the end of its program; the recovery file before it still counts.
        ::unlink((base + kTemporarySuffix).c_str());
        if (!hasData) {
            ::unlink((base + kLockSuffix).c_str());
            closeLock(lock);
            continue;
        }
        std::unique_ptr<RecoveredSong> song(new RecoveredSong);
        if (readRecoveryFile(base + kDataSuffix, song->originalPath_, song->savedAt_,
                             song->songBytes_) != RecoveryOk) {
            closeLock(lock);
            continue;
        }
        song->dataPath_ = base + kDataSuffix;
        song->lockPath_ = base + kLockSuffix;
        song->lockFd_ = lock;
        orphans.push_back(std::move(song));
    }
    std::stable_sort(orphans.begin(), orphans.end(),
                     [](const auto& a, const auto& b) { return a->savedAt() > b->savedAt(); });
    return orphans;
}

} // namespace reedtab

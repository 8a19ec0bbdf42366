#pragma once

// The recovery files of songs with unsaved changes: while a song is modified the program writes
// it here now and then, so that a crash, a power cut or a killed process loses at most the last
// few seconds of work; the next start finds what a program that is gone left behind.
//
// Every running program has a session of its own in the folder: a lock file it holds locked
// (flock) for as long as it runs and its recovery file, written atomically (beside, then
// renamed over the last one). The lock dies with the process, however it ends, so a recovery
// file whose lock can be taken belongs to a program that is gone; one whose lock is held
// belongs to a running program and is never offered. Taking an orphan keeps its lock, so two
// programs starting at once never both take the same one.
//
// Threads: one store per program, used from one thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace reedtab {

/// Result codes of the store.
enum RecoveryResult : int {
    RecoveryOk = 0,
    RecoveryCannotWrite = 1, ///< the folder or the file could not be written
    RecoveryCannotRead = 2,  ///< missing, or not a recovery file
};

/// A recovery file left by a program that is gone, taken by this program (its lock held) until
/// the entry is destroyed or removed.
class RecoveredSong {
public:
    ~RecoveredSong();
    RecoveredSong(const RecoveredSong&) = delete;
    RecoveredSong& operator=(const RecoveredSong&) = delete;

    /// The user's file the song was read from or saved to; "" for a song never saved.
    const std::string& originalPath() const { return originalPath_; }
    /// When the recovery file was written, in seconds since 1970 (UTC).
    std::int64_t savedAt() const { return savedAt_; }
    /// The song as a Standard MIDI File.
    const std::string& songBytes() const { return songBytes_; }
    /// Deletes the recovery file and its lock (the user restored or declined it).
    void remove();

private:
    friend class RecoveryStore;
    RecoveredSong() = default;

    std::string dataPath_;
    std::string lockPath_;
    int lockFd_ = -1;
    std::string originalPath_;
    std::int64_t savedAt_ = 0;
    std::string songBytes_;
};

class RecoveryStore {
public:
    /// Recovery files live in `folder`, made (private to the user) when first written.
    explicit RecoveryStore(std::string folder);
    /// Removes this program's recovery file and lock: the program ended cleanly.
    ~RecoveryStore();
    RecoveryStore(const RecoveryStore&) = delete;
    RecoveryStore& operator=(const RecoveryStore&) = delete;

    /// Writes this program's recovery file: the song's file bytes, the user's file it belongs
    /// to and the time. A failed write leaves the previous recovery file as it was.
    RecoveryResult write(const std::string& originalPath, const std::string& songBytes,
                         std::int64_t savedAt);
    /// Removes this program's recovery file (saved, discarded, or nothing left to keep).
    void discard();
    /// Whether this program has a recovery file now.
    bool hasFile() const;
    /// This program's recovery file ("" before the first write).
    const std::string& path() const { return dataPath_; }

    /// The recovery files of programs that are gone, newest first, each taken for this program
    /// until it is removed or destroyed. Files that cannot be read are left where they are.
    std::vector<std::unique_ptr<RecoveredSong>> takeOrphans();

private:
    bool openSession();

    std::string folder_;
    std::string session_;
    std::string dataPath_;
    std::string lockPath_;
    int lockFd_ = -1;
};

/// Reads a recovery file into its parts. RecoveryOk, or RecoveryCannotRead for a missing file or
/// one that is not a complete recovery file.
RecoveryResult readRecoveryFile(const std::string& path, std::string& originalPath,
                                std::int64_t& savedAt, std::string& songBytes);

} // namespace reedtab

#pragma once

// The document's undo and redo steps, held in memory.
//
// The history keeps an image of the song: the data of each track chunk as the file writer makes
// it, with what a file does not hold (each track's flags, mixer volume and channels, and the
// edit cursor). A step holds only what differs between the image before its edit and the image
// after it: for each changed track the run of bytes between the parts that stayed, or the run
// of whole tracks between those that stayed when tracks came, went or moved. Undoing or redoing
// a step exchanges its bytes with the image's and reads the image back into the song, so both
// ways are one operation and every kind of edit goes back exactly the same way.
//
// Memory: the image costs about the song's file size. The steps cost what their edits changed
// (a note added costs a few dozen bytes, a transposition of every note about the file size),
// at most `kStepBytes` together and at most `kMaxSteps` in number (or the limits given to the
// constructor); beyond either the oldest steps are dropped first. The last edit always stays
// undoable, however large.
//
// Threads: the user-interface thread. Taking an image only reads the song, so it may run while
// the player reads it too; reading one back replaces the song, with the player stopped.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace reedtab {

class MidiSong;

class UndoHistory {
public:
    static constexpr size_t kMaxSteps = 100;
    static constexpr size_t kStepBytes = size_t{128} << 20;

    explicit UndoHistory(size_t maxSteps = kMaxSteps, size_t maxStepBytes = kStepBytes)
        : maxSteps_(maxSteps), maxStepBytes_(maxStepBytes) {}

    /// Forgets every step and the image; the song as it is then becomes the saved state when
    /// `saved`, else no state is.
    void clear(bool saved = true);
    /// Before an edit: takes the image of the song when there is none, and the tracks' states
    /// and the cursor as they are now.
    void prepare(const MidiSong& song, int32_t cursor);
    /// After an edit: a step of `type` from the image to the song as it is now. The redo steps
    /// go, and the oldest steps beyond the limits.
    void record(int type, const MidiSong& song, int32_t cursor);
    /// True when the last step may take in a further change: there is one, and it does not
    /// end at the saved state.
    bool canAmend() const;
    /// After a change that records no step of its own: it becomes part of the last step when
    /// `canAmend`, else a step of `type`. A last step that then changes nothing goes.
    void amend(int type, const MidiSong& song, int32_t cursor);
    /// Reads the image back into the song, with the tracks' states and the cursor taken before
    /// the edit: an edit called off. False when there is no image or it could not be read.
    bool restore(MidiSong& song, int32_t& cursor);
    /// Takes the song one step back or forward; the cursor goes to where it was before or
    /// after the step's edit. False when there is no such step or the image could not be read
    /// (the song then stays as it was).
    bool undo(MidiSong& song, int32_t& cursor);
    bool redo(MidiSong& song, int32_t& cursor);

    /// The `UndoType` of the step Undo or Redo would take; 0 when there is none.
    int undoType() const;
    int redoType() const;
    size_t undoCount() const { return position_; }
    size_t redoCount() const { return steps_.size() - position_; }

    /// The song as it is now is the one in its file.
    void markSaved() { saved_ = position_; }
    /// True while the song is the one in its file, as far as the steps can tell.
    bool atSavedState() const { return saved_ == position_; }
    /// What the steps hold, in bytes.
    size_t stepBytes() const { return stepBytes_; }

private:
    struct TrackState {
        uint16_t flags = 0;
        uint8_t volumePercent = 100;
        std::vector<uint8_t> channels;
        bool operator==(const TrackState&) const = default;
    };
    struct Image {
        int division = 0;
        std::vector<std::string> chunks;
        std::vector<TrackState> states;
        int32_t cursor = 0;
    };
    // Bytes [offset, offset + length) of the image's chunk `track` are, on the step's other
    // side, `bytes`.
    struct Patch {
        size_t track = 0;
        size_t offset = 0;
        size_t length = 0;
        std::string bytes;
    };
    struct Step {
        int type = 0;
        std::vector<Patch> patches;
        // When the track count changed: the image's chunks [first, first + count) are, on the
        // step's other side, `chunks`.
        bool span = false;
        size_t first = 0;
        size_t count = 0;
        std::vector<std::string> chunks;
        std::vector<TrackState> states;
        int32_t cursor = 0;

        size_t bytes() const;
        bool changesNothing(const Image& image) const;
    };
    static constexpr size_t kNoState = ~size_t{0};

    static Patch patchBetween(size_t track, const std::string& from, const std::string& to);
    static std::vector<TrackState> statesOf(const MidiSong& song);
    static void exchange(Image& image, Step& step);
    void takeImage(const MidiSong& song);
    bool readImage(MidiSong& song) const;
    bool move(Step& step, MidiSong& song, int32_t& cursor);
    void dropRedo();
    void dropOldest();

    size_t maxSteps_;
    size_t maxStepBytes_;
    Image image_;
    bool hasImage_ = false;
    std::deque<Step> steps_;
    // Steps below this index are undone by Undo; the state reached is numbered by it.
    size_t position_ = 0;
    size_t saved_ = 0;
    size_t stepBytes_ = 0;
};

} // namespace reedtab

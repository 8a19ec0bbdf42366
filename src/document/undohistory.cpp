#include "document/undohistory.h"

#include "model/midisong.h"
#include "model/trackwriter.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace reedtab {

namespace {

std::vector<std::string> chunksOf(const MidiSong& song) {
    std::vector<std::string> chunks;
    chunks.reserve(song.tracks.size());
    for (const auto& track : song.tracks)
        chunks.push_back(trackData(*track));
    return chunks;
}

} // namespace

size_t UndoHistory::Step::bytes() const {
    size_t total = sizeof(Step);
    for (const Patch& patch : patches)
        total += sizeof(Patch) + patch.bytes.size();
    for (const std::string& chunk : chunks)
        total += sizeof(std::string) + chunk.size();
    for (const TrackState& state : states)
        total += sizeof(TrackState) + state.channels.size();
    return total;
}

bool UndoHistory::Step::changesNothing(const Image& image) const {
    return patches.empty() && !span && states == image.states && cursor == image.cursor;
}

// The bytes of `from` that differ from `to`, between the longest common start and end. Edits
// change a track in one place (delta times are relative, so an event added or removed leaves
// every later byte as it was), so this is usually all that changed.
UndoHistory::Patch UndoHistory::patchBetween(size_t track, const std::string& from,
                                             const std::string& to) {
    const size_t shorter = std::min(from.size(), to.size());
    size_t start = 0;
    while (start < shorter && from[start] == to[start])
        ++start;
    size_t end = 0;
    while (end < shorter - start && from[from.size() - 1 - end] == to[to.size() - 1 - end])
        ++end;
    return Patch{track, start, to.size() - start - end,
                 from.substr(start, from.size() - start - end)};
}

std::vector<UndoHistory::TrackState> UndoHistory::statesOf(const MidiSong& song) {
    std::vector<TrackState> states;
    states.reserve(song.tracks.size());
    for (const auto& track : song.tracks)
        states.push_back({track->flags, track->volumePercent, track->channels});
    return states;
}

// Exchanges what the step holds with what the image holds in its place: the image goes to the
// step's other side, and the step then holds the way back.
void UndoHistory::exchange(Image& image, Step& step) {
    for (Patch& patch : step.patches) {
        std::string& chunk = image.chunks[patch.track];
        std::string replaced = chunk.substr(patch.offset, patch.length);
        chunk.replace(patch.offset, patch.length, patch.bytes);
        patch.length = patch.bytes.size();
        patch.bytes = std::move(replaced);
    }
    if (step.span) {
        auto& chunks = image.chunks;
        const auto first = chunks.begin() + static_cast<std::ptrdiff_t>(step.first);
        const auto last = first + static_cast<std::ptrdiff_t>(step.count);
        std::vector<std::string> replaced(std::make_move_iterator(first),
                                          std::make_move_iterator(last));
        const auto at = chunks.erase(first, last);
        chunks.insert(at, std::make_move_iterator(step.chunks.begin()),
                      std::make_move_iterator(step.chunks.end()));
        step.count = step.chunks.size();
        step.chunks = std::move(replaced);
    }
    std::swap(image.states, step.states);
    std::swap(image.cursor, step.cursor);
}

void UndoHistory::clear(bool saved) {
    image_ = {};
    hasImage_ = false;
    steps_.clear();
    position_ = 0;
    saved_ = saved ? 0 : kNoState;
    stepBytes_ = 0;
}

void UndoHistory::takeImage(const MidiSong& song) {
    image_.division = song.division;
    image_.chunks = chunksOf(song);
    hasImage_ = true;
}

void UndoHistory::prepare(const MidiSong& song, int32_t cursor) {
    if (!hasImage_)
        takeImage(song);
    image_.states = statesOf(song);
    image_.cursor = cursor;
}

void UndoHistory::dropRedo() {
    while (steps_.size() > position_) {
        stepBytes_ -= steps_.back().bytes();
        steps_.pop_back();
    }
    if (saved_ != kNoState && saved_ > position_)
        saved_ = kNoState;
}

void UndoHistory::dropOldest() {
    while (steps_.size() > 1 && (steps_.size() > maxSteps_ || stepBytes_ > maxStepBytes_)) {
        stepBytes_ -= steps_.front().bytes();
        steps_.pop_front();
        --position_;
        saved_ = saved_ == 0 || saved_ == kNoState ? kNoState : saved_ - 1;
    }
}

void UndoHistory::record(int type, const MidiSong& song, int32_t cursor) {
    if (!hasImage_) {
        // Nothing was taken before the edit: there is no way back to offer.
        takeImage(song);
        image_.states = statesOf(song);
        image_.cursor = cursor;
        return;
    }
    dropRedo();
    Step step;
    step.type = type;
    std::vector<std::string> chunks = chunksOf(song);
    std::vector<std::string>& before = image_.chunks;
    const size_t nb = before.size();
    const size_t na = chunks.size();
    size_t head = 0;
    while (head < nb && head < na && before[head] == chunks[head])
        ++head;
    size_t tail = 0;
    while (tail < nb - head && tail < na - head && before[nb - 1 - tail] == chunks[na - 1 - tail])
        ++tail;
    if (nb == na) {
        for (size_t k = head; k < nb - tail; ++k) {
            if (before[k] != chunks[k])
                step.patches.push_back(patchBetween(k, before[k], chunks[k]));
        }
    } else {
        step.span = true;
        step.first = head;
        step.count = na - head - tail;
        step.chunks.assign(std::make_move_iterator(before.begin() + static_cast<ptrdiff_t>(head)),
                           std::make_move_iterator(before.end() - static_cast<ptrdiff_t>(tail)));
    }
    image_.chunks = std::move(chunks);
    image_.division = song.division;
    step.states = std::exchange(image_.states, statesOf(song));
    step.cursor = std::exchange(image_.cursor, cursor);
    stepBytes_ += step.bytes();
    steps_.push_back(std::move(step));
    ++position_;
    dropOldest();
}

bool UndoHistory::canAmend() const {
    return position_ > 0 && position_ != saved_;
}

void UndoHistory::amend(int type, const MidiSong& song, int32_t cursor) {
    if (!canAmend()) {
        record(type, song, cursor);
        return;
    }
    // Back to the image before the last step, which is then made again up to the song as it
    // is now.
    dropRedo();
    Step& last = steps_.back();
    const int lastType = last.type;
    stepBytes_ -= last.bytes();
    exchange(image_, last);
    steps_.pop_back();
    --position_;
    record(lastType, song, cursor);
    if (steps_.back().changesNothing(image_)) {
        stepBytes_ -= steps_.back().bytes();
        steps_.pop_back();
        --position_;
    }
}

bool UndoHistory::readImage(MidiSong& song) const {
    MidiSong read;
    if (!image_.chunks.empty()) {
        const std::string file = smfFile(1, image_.division, image_.chunks);
        if (read.loadMemory(file.data(), file.size()) != LoadOk)
            return false;
    }
    read.path = song.path;
    song.swap(read);
    const size_t count = std::min(image_.states.size(), song.tracks.size());
    for (size_t i = 0; i < count; ++i) {
        MidiTrack& track = *song.tracks[i];
        track.flags = image_.states[i].flags;
        track.volumePercent = image_.states[i].volumePercent;
        track.channels = image_.states[i].channels;
    }
    return true;
}

bool UndoHistory::restore(MidiSong& song, int32_t& cursor) {
    if (!hasImage_ || !readImage(song))
        return false;
    cursor = image_.cursor;
    return true;
}

bool UndoHistory::move(Step& step, MidiSong& song, int32_t& cursor) {
    // The tracks' states as they are now go with the step, so that going the other way
    // brings them back.
    image_.states = statesOf(song);
    stepBytes_ -= step.bytes();
    exchange(image_, step);
    const bool read = readImage(song);
    if (!read)
        exchange(image_, step);
    stepBytes_ += step.bytes();
    if (read)
        cursor = image_.cursor;
    return read;
}

bool UndoHistory::undo(MidiSong& song, int32_t& cursor) {
    if (position_ == 0 || !move(steps_[position_ - 1], song, cursor))
        return false;
    --position_;
    return true;
}

bool UndoHistory::redo(MidiSong& song, int32_t& cursor) {
    if (position_ == steps_.size() || !move(steps_[position_], song, cursor))
        return false;
    ++position_;
    return true;
}

int UndoHistory::undoType() const {
    return position_ > 0 ? steps_[position_ - 1].type : 0;
}

int UndoHistory::redoType() const {
    return position_ < steps_.size() ? steps_[position_].type : 0;
}

} // namespace reedtab

#pragma once

// Numbers the MIDI standard fixes, named once for every module.

namespace reedtab {

/// Channel 10 (9 counted from 0) carries the drums by General MIDI's convention.
inline constexpr int kDrumChannel = 9;
/// The highest note, controller and program number (seven bits).
inline constexpr int kLastNote = 127;
/// The General MIDI programs 0..127.
inline constexpr int kProgramCount = 128;
/// The pitch wheel's centre, and its range to either side.
inline constexpr int kBendRange = 8192;

} // namespace reedtab

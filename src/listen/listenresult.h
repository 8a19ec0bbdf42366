#pragma once

namespace reedtab {

/// Result codes of the listening module (0 is success).
enum ListenResult : int {
    ListenOk = 0,
    /// aubio, RtAudio or libsndfile cannot be loaded
    ListenNoLibrary = 1,
    /// no device of that name, or none at all
    ListenNoDevice = 2,
    /// the device or the sound system refused to open or start
    ListenDeviceError = 3,
    /// a sample rate the call does not take
    ListenBadRate = 4,
    /// an audio file that cannot be read
    ListenBadFile = 5,
    /// the two devices of a calibration belong to different sound systems
    ListenDifferentSystems = 6,
    /// the calibration heard too few of its clicks
    ListenNotHeard = 7,
};

} // namespace reedtab

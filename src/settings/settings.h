#pragma once

#include "settings/settingsstore.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace reedtab {

/// A colour as the engine keeps it; the GUI turns it into its own colour type.
/// Stored as red + 256 * green + 65536 * blue.
struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    /// The colour of a stored value; only the low 24 bits count.
    static constexpr Rgb fromStored(int value) {
        return Rgb{static_cast<std::uint8_t>(value & 0xFF),
                   static_cast<std::uint8_t>((value >> 8) & 0xFF),
                   static_cast<std::uint8_t>((value >> 16) & 0xFF)};
    }
    constexpr int stored() const { return red + 256 * green + 65536 * blue; }

    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

/// A font as the settings describe it; the GUI makes its font from this.
struct FontSpec {
    std::string faceName; ///< at most 31 characters
    int height = 0;       ///< logical units; negative means character height
    int weight = 400;     ///< 0..1000, 400 normal, 700 bold
    bool italic = false;

    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

/// A value that another thread may read while the GUI thread writes it. Loads and stores are
/// relaxed atomics: each field is a single independent flag or number, so no ordering between
/// fields is needed. Copying takes a snapshot, so the settings block can be copied by the
/// options pages.
template <typename T>
class Shared {
public:
    constexpr Shared(T value = T{}) : value_(value) {}
    Shared(const Shared& other) : value_(other.load()) {}
    Shared& operator=(const Shared& other) {
        store(other.load());
        return *this;
    }
    Shared& operator=(T value) {
        store(value);
        return *this;
    }
    operator T() const { return load(); }
    T load() const { return value_.load(std::memory_order_relaxed); }
    void store(T value) { value_.store(value, std::memory_order_relaxed); }

private:
    std::atomic<T> value_;
};

/// Bits of `saveSettings`; `tabMode` is written whatever the bits.
enum SaveGroup : unsigned {
    kSaveDiatonicSymbols = 0x01,
    kSaveChromaticSymbols = 0x02,
    kSaveFonts = 0x04,
    kSaveLyrics = 0x08,
    kSavePlayer = 0x10,
    kSavePrint = 0x20,
    kSaveHarps = 0x40,
    kSaveListen = 0x80,
    kSaveAll = 4095,
};

/// Section of the user's options.
inline constexpr const char* kSettingsSection = "Settings";
/// Section of the window state, the harmonica layouts and the tool windows.
inline constexpr const char* kWindowSection = "Version 3.1";
/// The output device name list always starts with this entry (output index -1).
inline constexpr const char* kMidiMapperName = "Midi Mapper";
/// Written as `midiInDeviceStr` when no input device is chosen.
inline constexpr const char* kNoMidiInputName = "No Midi input";

/// A harmonica the player owns: a tuning by the name its layout gives it and the key the
/// harmonica is named after.
struct OwnedHarp {
    std::string tuning;
    int key = 0; ///< pitch class 0..11, C = 0

    friend bool operator==(const OwnedHarp&, const OwnedHarp&) = default;
};

/// At most this many harps are kept: every built-in tuning in every key, with room to spare.
inline constexpr std::size_t kMaxOwnedHarps = 512;

/// The one settings block: the user's options (field names are the store's keys) and the
/// run-time device choice and edit mode beside them. The player reads none of it: the program
/// turns the player options into the transport's `PlaybackOptions`.
///
/// Threads: everything belongs to the GUI thread; the `Shared<>` fields may also be read from
/// other threads.
struct Settings {
    // Display
    int tabMode = 0; ///< 0 C names, 1 diatonic, 2 chromatic, 3 B-flat names, 4 E-flat names
    int tabStaffSpace = 1;
    int musicNoteType = 0; ///< note-name scheme 0..4
    bool offsetsharpsflats = false;
    bool showPitchBends = true;
    bool showDrumsNotes = false;
    bool editSnap = false;

    // Fonts and lyrics colours
    FontSpec fontTab{"Arial", -12, 400, false};
    FontSpec fontText{"Arial", -12, 400, false};
    FontSpec fontLyrics{"Arial", -16, 700, false};
    Rgb fontLyricsTxt = Rgb::fromStored(0);
    Rgb fontLyricsBg = Rgb::fromStored(16777088);

    // Tablature symbols, one character each
    char dblowSym = '+';
    char ddrawSym = '-';
    char dbendSym = '\'';
    char doverSym = 'o';
    char cblowSym = '+';
    char cdrawSym = '-';
    char cslideSym = '<';

    // Colours of the view and the harmonica windows
    Rgb colorSelect = Rgb::fromStored(12632224);
    Rgb colorPlaySel = Rgb::fromStored(8421440);
    Rgb colorPlayed = Rgb::fromStored(16760832);
    Rgb colorNormal1 = Rgb::fromStored(4259648);
    Rgb colorNormal2 = Rgb::fromStored(8437952);
    Rgb colorDimmed = Rgb::fromStored(15132390);
    Rgb colorBlow = Rgb::fromStored(65280);
    Rgb colorDraw = Rgb::fromStored(49152);
    Rgb colorOver = Rgb::fromStored(255);
    Rgb colorBend = Rgb::fromStored(61680);
    Rgb colorBlowChro = Rgb::fromStored(65280);
    Rgb colorDrawChro = Rgb::fromStored(49152);
    Rgb colorBlowSlide = Rgb::fromStored(2154592);
    Rgb colorDrawSlide = Rgb::fromStored(2138208);

    // Player options (the transport's switches)
    Shared<bool> playMetronome = false;
    Shared<bool> playCountIn = false;
    Shared<bool> playLoop = false;
    Shared<bool> changeExpr2Vol = false;
    Shared<bool> sendMidiSt = false;
    Shared<bool> skipPrgChange = false;

    // Devices by name, as stored
    std::string midiOutDeviceStr = kMidiMapperName;
    std::string midiInDeviceStr;
    /// The built-in synthesizer's SoundFont file, "" for the system's default.
    std::string soundFont;
    /// Seconds between two writes of the recovery file while the song has unsaved changes;
    /// 0 writes none.
    int autosaveSeconds = 60;

    // Printing
    int printTabSpace = 0;
    bool printTrebleClef = true;
    bool printBassClef = false;
    bool printNoColorBars = false;
    int printBeatsPerLine = 16; ///< 1..48

    /// "My harps": the harmonicas the player owns, each once, in the order chosen; empty
    /// means the harp finder offers every harp. Stored as "myHarps", entries "NAME@KEY"
    /// (KEY the pitch class) joined by "|".
    std::vector<OwnedHarp> myHarps;

    // Listening to the player
    /// The capture device by name ("System: device"), "" for the default one.
    std::string listenInput;
    int concertPitch = 440;   ///< A4 in Hz, 430..450
    int listenTolerance = 30; ///< cents, 10..100
    int listenOffsetMs = 0;   ///< the user's own latency offset, -500..500, added to the round trip
    bool listenWait = false;  ///< wait mode
    Rgb colorHit = Rgb::fromStored(0xE07000); ///< judged notes on the staff (0x00BBGGRR)
    Rgb colorWrong = Rgb::fromStored(0x0080FF);
    Rgb colorMissed = Rgb::fromStored(0x0000D0);
    Rgb colorHeard = Rgb::fromStored(0xC000C0); ///< the heard hole in the harmonica windows

    // Run-time values, never stored
    /// -1 = "Midi Mapper", else an index into the system's output list (without the mapper).
    Shared<int> outputDeviceIndex = -1;
    /// -1 = no MIDI input, else an index into the system's input list.
    Shared<int> inputDeviceIndex = -1;
    /// Device name lists as `resolveDevices` got them (outputs start with "Midi Mapper");
    /// `saveSettings` turns the indices back into names with them.
    std::vector<std::string> outputDeviceNames{kMidiMapperName};
    std::vector<std::string> inputDeviceNames;
    Shared<bool> editMode = false; ///< set by the edit toolbar
};

/// The process-wide settings block (GUI thread; see `Settings` for the shared fields).
Settings& settings();

/// Reads every key of section "Settings" into the block. A missing key, a value of the wrong
/// type or out of range leaves that field at its default. Font face names are cut to 31
/// characters. Of "myHarps" only the well-formed entries are kept (a name of 1..63
/// characters, a key 0..11), each once, at most `kMaxOwnedHarps`. Run-time values are not
/// touched.
void loadSettings(const SettingsStore& store, Settings& block = settings());

/// Writes `tabMode` and the groups whose bits are set (`SaveGroup`). With `kSavePlayer` the
/// device names are taken from the device indices and the lists of `resolveDevices`: the mapper
/// when the output index is not in the list, "No Midi input" when the input index is -1 or not
/// in the list.
void saveSettings(SettingsStore& store, unsigned groups, const Settings& block = settings());

/// Turns the stored device names into indices. `outputNames` starts with "Midi Mapper"; the
/// output index is the position of the first exact (case-sensitive) match of
/// `midiOutDeviceStr` minus one, so the mapper and an unknown name both give -1. The input
/// index is the position of the first exact match of `midiInDeviceStr` in `inputNames`, or -1.
/// Keeps both lists in the block for `saveSettings`.
void resolveDevices(const std::vector<std::string>& outputNames,
                    const std::vector<std::string>& inputNames, Settings& block = settings());

} // namespace reedtab

#pragma once

// One event of a song: the base class with every field, the 19 event kinds and the factories
// for the events the program creates itself.
//
// Threads: events are created and changed on the user-interface thread only. While the song
// plays, the player's callback thread reads the fields of events in the merged list; every edit
// stops the player first, so the two never overlap.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace reedtab {

class MidiTrack;

/// The kind codes of the event classes. Bit 0x10 marks channel events, 0x20 system
/// exclusive, 0x40 meta events.
enum EventKind : int {
    KindNone = 0,
    KindChannel = 16,
    KindNoteOff = 17,
    KindNoteOn = 18,
    KindChannelPressure = 19,
    KindAftertouch = 20,
    KindController = 21,
    KindProgram = 22,
    KindPitchWheel = 23,
    KindSysEx = 32,
    KindStrangeSysEx = 33,
    KindMeta = 64,
    KindEndOfTrack = 65,
    KindText = 66,
    KindCopyright = 67,
    KindLyric = 69,
    KindTempo = 70,
    KindTimeSignature = 71,
    KindKeySignature = 72,
    KindTrackName = 73,
};

/// Family bits of an `EventKind`.
inline constexpr int KindFamilyChannel = 0x10;
inline constexpr int KindFamilySysEx = 0x20;
inline constexpr int KindFamilyMeta = 0x40;

/// Meta-event type bytes the model knows by name.
inline constexpr uint16_t MetaText = 0x01;
inline constexpr uint16_t MetaCopyright = 0x02;
inline constexpr uint16_t MetaTrackName = 0x03;
inline constexpr uint16_t MetaLyric = 0x05;
inline constexpr uint16_t MetaEndOfTrack = 0x2F;
inline constexpr uint16_t MetaTempo = 0x51;
inline constexpr uint16_t MetaTimeSignature = 0x58;
inline constexpr uint16_t MetaKeySignature = 0x59;
inline constexpr uint16_t MetaSequencerSpecific = 0x7F;

/// Base of every event kind. A new event has every field 0 or empty; the factories below fill
/// in what their kind needs. The event owns its payload; `partner` and `track` are references
/// that the event does not own.
class MidiEvent {
public:
    MidiEvent() = default;
    MidiEvent(const MidiEvent&) = delete;
    MidiEvent& operator=(const MidiEvent&) = delete;
    virtual ~MidiEvent() = default;

    /// Events come from a per-thread pool of fixed-size blocks: a song holds hundreds of
    /// thousands of them and the general allocator costs more than reading one. Freed blocks
    /// are reused by later events; the pool is off in sanitizer builds so that they see every
    /// allocation.
    static void* operator new(size_t size);
    static void operator delete(void* block, size_t size);

    /// Absolute time in ticks.
    int32_t tick = 0;
    /// For a paired note-on: the note-off's tick minus this tick (ticks); 0 otherwise.
    int32_t duration = 0;
    /// Meta-event type byte for meta events; 0 for system-exclusive and channel events.
    uint16_t metaType = 0;
    /// 1 when the pairing pass found this note-on overlapping another sounding note of the
    /// same channel and key.
    int32_t overlapMark = 0;
    /// Owned by the tablature view's layout; the model never reads it.
    int32_t viewScratch = 0;
    /// Set by the view's analysis for note-ons drawn as notes.
    int32_t isNote = 0;
    /// Full status byte of a channel event (channel in the low nibble).
    uint16_t status = 0;
    /// First data byte (key, controller, program, pressure).
    uint16_t data1 = 0;
    /// Second data byte (velocity, controller value, pressure); 0 for one-byte messages.
    uint16_t data2 = 0;
    /// For a note-on: the way of playing it the user chose on the harmonica (encoded by the
    /// harmonica module), 0 for the preferred one. The model keeps it with the note, writes
    /// it beside the note in files (`kFingeringTag`) and reads it back; it sits in what would
    /// be padding after `data2`.
    uint16_t fingering = 0;
    /// Number of meaningful bytes in `data`. Held in 32 bits so that long system-exclusive and
    /// meta payloads survive a write.
    uint32_t dataLength = 0;
    /// Owned by the lyrics window; the model never reads it. Kept beside `dataLength`, ahead of
    /// `data`, so that the two 32-bit fields fill one 8-byte slot and an event takes 72 bytes.
    int32_t lyricScratch = 0;
    /// Payload of meta and system-exclusive events, always followed by one zero byte (so a text
    /// payload is also a C string); null when the event has none.
    std::unique_ptr<uint8_t[]> data;
    /// A paired note-on points to its note-off and the note-off back to it; null otherwise.
    MidiEvent* partner = nullptr;
    /// The track that owns this event.
    MidiTrack* track = nullptr;

    /// The status group or meta type the class stands for; 0 in the base.
    virtual int statusCode() const { return 0; }
    /// The `EventKind` code of the class; 0 in the base.
    virtual int kind() const { return KindNone; }
    /// The main value; the base returns `data1`.
    virtual int32_t value() const { return data1; }
    /// Sets the main value; the base stores the low byte into `data1`.
    virtual void setValue(int32_t v) { data1 = static_cast<uint16_t>(v & 0xFF); }
    /// Writes the one-line description into `text` (capacity bytes, zero included), cut to fit
    /// and always zero-terminated when capacity > 0. Returns the number of characters written.
    virtual size_t describe(char* text, size_t capacity) const;

    /// The description as a string (no length limit).
    std::string description() const;

    /// Replaces the payload with a copy of `length` bytes (plus the trailing zero) and sets
    /// `dataLength`. `bytes` may be null only when length is 0.
    void setData(const void* bytes, uint32_t length);
    /// Takes over a buffer of at least length + 1 bytes whose byte at `length` is 0.
    void adoptData(std::unique_ptr<uint8_t[]> bytes, uint32_t length);
    /// The payload as text; "" when there is none.
    const char* text() const { return data ? reinterpret_cast<const char*>(data.get()) : ""; }
    /// The payload as bytes, `dataLength` long.
    std::string_view bytes() const {
        return data ? std::string_view(reinterpret_cast<const char*>(data.get()), dataLength)
                    : std::string_view();
    }

    /// MIDI channel 0..15 of a channel event.
    int channel() const { return status & 0x0F; }
    bool isChannelEvent() const { return (kind() & KindFamilyChannel) != 0; }
    bool isMetaEvent() const { return (kind() & KindFamilyMeta) != 0; }
    bool isSysExEvent() const { return (kind() & KindFamilySysEx) != 0; }
    /// A note-on with velocity above 0.
    bool isNoteOn() const { return kind() == KindNoteOn && data2 > 0; }
    /// A note-off, or a note-on with velocity 0 (which counts as one everywhere).
    bool isNoteOff() const { return kind() == KindNoteOff || (kind() == KindNoteOn && data2 == 0); }
};

class ChannelEvent : public MidiEvent {
public:
    int kind() const override { return KindChannel; }
    size_t describe(char* text, size_t capacity) const override;
};

class NoteOffEvent : public MidiEvent {
public:
    int statusCode() const override { return 0x80; }
    int kind() const override { return KindNoteOff; }
    size_t describe(char* text, size_t capacity) const override;
};

class NoteOnEvent : public MidiEvent {
public:
    int statusCode() const override { return 0x90; }
    int kind() const override { return KindNoteOn; }
    size_t describe(char* text, size_t capacity) const override;
};

class ChannelPressureEvent : public MidiEvent {
public:
    int statusCode() const override { return 0xD0; }
    int kind() const override { return KindChannelPressure; }
    size_t describe(char* text, size_t capacity) const override;
};

class AftertouchEvent : public MidiEvent {
public:
    int statusCode() const override { return 0xA0; }
    int kind() const override { return KindAftertouch; }
    size_t describe(char* text, size_t capacity) const override;
};

class ControllerEvent : public MidiEvent {
public:
    int statusCode() const override { return 0xB0; }
    int kind() const override { return KindController; }
    size_t describe(char* text, size_t capacity) const override;
};

class ProgramEvent : public MidiEvent {
public:
    int statusCode() const override { return 0xC0; }
    int kind() const override { return KindProgram; }
    size_t describe(char* text, size_t capacity) const override;
};

class PitchWheelEvent : public MidiEvent {
public:
    int statusCode() const override { return 0xE0; }
    int kind() const override { return KindPitchWheel; }
    /// The bend from the two data bytes, -8192..8191 (0 at the centre).
    int32_t value() const override;
    size_t describe(char* text, size_t capacity) const override;
};

/// A complete system-exclusive message; `data` starts with its 0xF0 and normally ends with
/// 0xF7, `dataLength` counts both.
class SysExEvent : public MidiEvent {
public:
    int kind() const override { return KindSysEx; }
    size_t describe(char* text, size_t capacity) const override;
};

/// An F7 escape packet that does not continue an open system-exclusive message; `data` holds
/// the packet bytes as read.
class StrangeSysExEvent : public MidiEvent {
public:
    int kind() const override { return KindStrangeSysEx; }
    size_t describe(char* text, size_t capacity) const override;
};

/// A meta event of a type without its own class.
class MetaEvent : public MidiEvent {
public:
    int kind() const override { return KindMeta; }
    size_t describe(char* text, size_t capacity) const override;
};

class EndOfTrackEvent : public MidiEvent {
public:
    int statusCode() const override { return 0x2F; }
    int kind() const override { return KindEndOfTrack; }
    size_t describe(char* text, size_t capacity) const override;
};

class TextEvent : public MidiEvent {
public:
    int kind() const override { return KindText; }
    size_t describe(char* text, size_t capacity) const override;
};

class CopyrightEvent : public MidiEvent {
public:
    int kind() const override { return KindCopyright; }
    size_t describe(char* text, size_t capacity) const override;
};

class LyricEvent : public MidiEvent {
public:
    int kind() const override { return KindLyric; }
    size_t describe(char* text, size_t capacity) const override;
};

/// Tempo change; `value` is microseconds per quarter note from the three data bytes.
class TempoEvent : public MidiEvent {
public:
    int statusCode() const override { return 0x51; }
    int kind() const override { return KindTempo; }
    /// Microseconds per quarter note (0 when the payload is shorter than 3 bytes).
    int32_t value() const override;
    /// Writes the low 24 bits of `v` (microseconds per quarter) back into the payload.
    void setValue(int32_t v) override;
    size_t describe(char* text, size_t capacity) const override;
};

/// Time signature; data bytes: numerator, log2 of the denominator, MIDI clocks per click,
/// 32nd notes per quarter.
class TimeSignatureEvent : public MidiEvent {
public:
    int statusCode() const override { return 0x58; }
    int kind() const override { return KindTimeSignature; }
    size_t describe(char* text, size_t capacity) const override;
    /// Numerator (data byte 0); 4 when the payload is missing.
    int numerator() const;
    /// Denominator, 2 to the power of data byte 1; 4 when the payload is missing.
    int denominator() const;
};

/// Key signature; data bytes: sharps (positive) or flats (negative), then 1 for minor.
class KeySignatureEvent : public MidiEvent {
public:
    int statusCode() const override { return 0x59; }
    int kind() const override { return KindKeySignature; }
    size_t describe(char* text, size_t capacity) const override;
    /// Data byte 0 as a signed count; 0 when the payload is missing.
    int sharpsFlats() const;
    /// Data byte 1 non-zero.
    bool isMinor() const;
};

class TrackNameEvent : public MidiEvent {
public:
    int kind() const override { return KindTrackName; }
    size_t describe(char* text, size_t capacity) const override;
};

/// The sequencer-specific meta event (type 0x7F) that carries a note's `fingering` in a file:
/// the non-commercial manufacturer id 0x7D, "RTF", format 1, then the note's channel, key and
/// the fingering's high and low bytes. It lies just before the note-on it belongs to, at the
/// same tick in the same track; other programs skip it as they skip any such event.
inline constexpr uint8_t kFingeringTag[] = {0x7D, 'R', 'T', 'F', 1};
inline constexpr uint32_t kFingeringLength = sizeof(kFingeringTag) + 4;

/// The name of a key with `sharpsFlats` sharps (positive) or flats (negative): "Cb" .. "C#",
/// "?" outside -7..+7.
const char* keyName(int sharpsFlats);

/// Text of the controller-name table ("" for numbers without a name); `number` is masked to
/// 0..127.
const char* controllerName(int number);

/// Short program name for a program number (masked to 0..127).
const char* programName(int number);

/// A channel event of the class its status's high nibble selects (`ChannelEvent` for a
/// nibble outside 8..E); `status`, `data1`, `data2` are stored as given.
std::unique_ptr<MidiEvent> makeChannelEvent(uint8_t status, uint8_t data1, uint8_t data2);

/// A meta event of the class its type selects (generic `MetaEvent` for unknown types), with
/// `metaType` set and a copy of `length` payload bytes.
std::unique_ptr<MidiEvent> makeMetaEvent(uint8_t type, const void* bytes, uint32_t length);

/// A tempo event from beats per minute: 60000000 / bpm microseconds per quarter, truncated
/// toward zero. A bpm of 0 or less is taken as 120.
std::unique_ptr<TempoEvent> makeTempoEventFromBpm(double bpm);

/// A tempo event of `microsPerQuarter` microseconds per quarter note (low 24 bits kept).
std::unique_ptr<TempoEvent> makeTempoEvent(int32_t microsPerQuarter);

/// A time signature from numerator, denominator (a power of two), MIDI clocks per click and
/// 32nd notes per quarter. The song's default is (4, 4, 24, 8).
std::unique_ptr<TimeSignatureEvent> makeTimeSignatureEvent(int numerator, int denominator,
                                                           int clocksPerClick = 24,
                                                           int thirtySecondsPerQuarter = 8);

/// A key signature from a count of sharps (positive) or flats (negative) (a count outside
/// -7..+7 is stored as 0) and the minor flag.
std::unique_ptr<KeySignatureEvent> makeKeySignatureEvent(int sharpsFlats, bool minor);

/// An end of track: no data, `metaType` 0x2F.
std::unique_ptr<EndOfTrackEvent> makeEndOfTrackEvent();

/// A text event as the editor makes it: `dataLength` counts the terminating zero too.
std::unique_ptr<TextEvent> makeTextEvent(std::string_view text);

/// A track-name event as the editor makes it: `dataLength` counts the terminating zero too.
std::unique_ptr<TrackNameEvent> makeTrackNameEvent(std::string_view name);

/// A lyric event as a file carries it: `dataLength` is the text length, no zero counted.
std::unique_ptr<LyricEvent> makeLyricEvent(std::string_view text);

/// A complete system-exclusive event; `bytes` includes the leading 0xF0 and closing 0xF7.
std::unique_ptr<SysExEvent> makeSysExEvent(const void* bytes, uint32_t length);

} // namespace reedtab

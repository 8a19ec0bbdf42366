#include "model/midievent.h"

#include "model/hugepages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <vector>

namespace reedtab {

namespace {

const char* const keyNames[15] = {"Cb", "Gb", "Db", "Ab", "Eb", "Bb", "F", "C",
                                  "G",  "D",  "A",  "E",  "B",  "F#", "C#"};

const char* const controllerNames[128] = {
    "Bank Select",
    "Modulation Wheel (coarse)",
    "Breath controller (coarse)",
    "",
    "Foot Pedal (coarse)",
    "Portamento Time (coarse)",
    "Data Entry (coarse)",
    "Volume (coarse)",
    "Balance (coarse)",
    "",
    "Pan position (coarse)",
    "Expression (coarse)",
    "Effect Control 1 (coarse)",
    "Effect Control 2 (coarse)",
    "",
    "",
    "General Purpose Slider 1",
    "General Purpose Slider 2",
    "General Purpose Slider 3",
    "General Purpose Slider 4",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "Bank Select (fine)",
    "Modulation Wheel (fine)",
    "Breath controller (fine)",
    "",
    "Foot Pedal (fine)",
    "Portamento Time (fine)",
    "Data Entry (fine)",
    "Volume (fine)",
    "Balance (fine)",
    "",
    "Pan position (fine)",
    "Expression (fine)",
    "Effect Control 1 (fine)",
    "Effect Control 2 (fine)",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "Hold Pedal (on/off)",
    "Portamento (on/off)",
    "Sustenuto Pedal (on/off)",
    "Soft Pedal (on/off)",
    "Legato Pedal (on/off)",
    "Hold 2 Pedal (on/off)",
    "Sound Variation",
    "Sound Timbre",
    "Sound Release Time",
    "Sound Attack Time",
    "Sound Brightness",
    "Sound Control 6",
    "Sound Control 7",
    "Sound Control 8",
    "Sound Control 9",
    "Sound Control 10",
    "General Purp Butt 1 (on/off)",
    "General Purp Butt 2 (on/off)",
    "General Purp Butt 3 (on/off)",
    "General Purp Butt 4 (on/off)",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "Effects Level",
    "Tremulo Level",
    "Chorus Level",
    "Celeste Level",
    "Phaser Level",
    "Data Button increment",
    "Data Button decrement",
    "Non-registered Param (fine)",
    "Non-registered Param (coars)",
    "Registered Parameter (fine)",
    "Registered Parameter (coars)",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "All Sound Off",
    "All Controllers Off",
    "Local Keyboard (on/off)",
    "All Notes Off",
    "Omni Mode Off",
    "Omni Mode On",
    "Mono Operation",
    "Poly Operation",
};

const char* const programNames[128] = {
    "Piano 1",
    "Piano 2",
    "Piano 3",
    "Honky-tonk Piano",
    "Rhodes Piano",
    "E Piano",
    "Harpsichord",
    "Clavinet",
    "Celesta",
    "Glockenspiel",
    "Musicbox",
    "Vibraphone",
    "Marimba",
    "Xylophone",
    "Tubular Bells",
    "Santur",
    "Organ 1",
    "Organ 2",
    "Organ 3",
    "Church Organ",
    "Reed Organ",
    "Accordion",
    "Harmonica",
    "Bandoneon",
    "Nylon Guitar",
    "Steel Guitar",
    "Jazz Guitar",
    "Clean Guitar",
    "Muted Guitar",
    "Overdrive Guitar",
    "Distorton Guitar",
    "Guitar Harmonics",
    "Acoustic Bass",
    "Fingered Bass",
    "Picked Bass",
    "Fretless Bass",
    "Slap Bass1",
    "Slap Bass2",
    "Synth Bass1",
    "Synth Bass2",
    "Violin",
    "Viola",
    "Cello",
    "Contrabass",
    "Tremolo Strings",
    "Pizzicato String",
    "Orchestral Harp",
    "Timpani",
    "Strings",
    "Slow Strings",
    "Synth Strings1",
    "Synth Strings2",
    "Choir Aahs",
    "Voice Oohs",
    "Synth Vox",
    "Orchestra Hit",
    "Trumpet",
    "Trombone",
    "Tuba",
    "Muted Trumpet",
    "French Horn",
    "Brass Section",
    "Synth Brass1",
    "Synth Brass2",
    "Soprano Sax",
    "Alto Sax",
    "Tenor Sax",
    "Baritone Sax",
    "Oboe",
    "English Horn",
    "Bassoon",
    "Clarinet",
    "Piccolo",
    "Flute",
    "Recorder",
    "Pan Flute",
    "Bottle Blow",
    "Shakuhachi",
    "Whistle",
    "Ocarina",
    "Square Wave",
    "Saw Wave",
    "Syn Calliope",
    "Chiffer Lead",
    "Charang",
    "Solo Voice",
    "5th Saw Wave",
    "Bass & Lead",
    "Fantasia",
    "Warm Pad",
    "PolySynth",
    "Space Voice",
    "Bowed Glass",
    "Metal Pad",
    "Halo Pad",
    "Sweep Pad",
    "Ice Rain",
    "Soundtrack",
    "Crystal",
    "Atmosphere",
    "Brightness",
    "Goblins",
    "Echo Drops",
    "Star Theme",
    "Sitar",
    "Banjo",
    "Shamisen",
    "Koto",
    "Kalimba",
    "Bagpipe",
    "Fiddle",
    "Shanai",
    "Tinkle Bell",
    "Agogo Bells",
    "Steel Drums",
    "Woodblock",
    "Taiko Drum",
    "Melodic Tom 1",
    "Synth Drum",
    "Reverse Cymbal",
    "Guitar Fret Noise",
    "Breath Noise",
    "Seashore",
    "Bird Tweet",
    "Telephone Ring",
    "Helicopter Blade",
    "Applause/Noise",
    "Gunshot",
};

// snprintf into the caller's buffer; returns the characters actually stored, so a cut
// description reports its real length.
size_t format(char* text, size_t capacity, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));

size_t format(char* text, size_t capacity, const char* fmt, ...) {
    if (capacity == 0)
        return 0;
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(text, capacity, fmt, args);
    va_end(args);
    if (n < 0) {
        text[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < capacity ? static_cast<size_t>(n) : capacity - 1;
}

// Data byte i as a signed byte, 0 past the payload (short payloads come from damaged files).
int signedByte(const MidiEvent& e, uint32_t i) {
    if (!e.data || i >= e.dataLength)
        return 0;
    return static_cast<int8_t>(e.data[i]);
}

int channelNumber(const MidiEvent& e) {
    return e.channel() + 1;
}

// The note suffix: length of a paired note, "(Off)" for a velocity-0 note-on that ends one.
const char* noteSuffix(const MidiEvent& e, bool noteOn, char* buffer, size_t capacity) {
    if (e.duration > 0) {
        std::snprintf(buffer, capacity, " (%ldL)", static_cast<long>(e.duration));
        return buffer;
    }
    if (noteOn && e.data2 == 0)
        return " (Off)";
    return "";
}

size_t describeText(const MidiEvent& e, const char* label, char* text, size_t capacity) {
    return format(text, capacity, "%s: text = [%d] %s", label, static_cast<int>(e.dataLength),
                  e.text());
}

} // namespace

const char* keyName(int sharpsFlats) {
    if (sharpsFlats < -7 || sharpsFlats > 7)
        return "?";
    return keyNames[sharpsFlats + 7];
}

const char* controllerName(int number) {
    return controllerNames[number & 0x7F];
}

const char* programName(int number) {
    return programNames[number & 0x7F];
}

size_t MidiEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity, "General Message : ");
}

std::string MidiEvent::description() const {
    std::string result(256, '\0');
    for (;;) {
        size_t n = describe(result.data(), result.size());
        // A cut description fills the buffer to within a few characters; grow and retry.
        if (n + 8 < result.size()) {
            result.resize(n);
            return result;
        }
        result.resize(result.size() * 4);
    }
}

namespace {

#if REEDTAB_POOLED_MEMORY
// Every event class adds no fields, so all events share one block size. Blocks are carved
// from slabs that are never returned: a block freed on another thread simply joins that
// thread's free list, and the slabs stay mapped for the life of the process.
//
// A slab is a fresh mapping the kernel hands over already zeroed, so nothing writes it before
// the events do, and it is aligned to and asked for in huge pages, so reading a large song
// takes a few hundred page faults instead of tens of thousands.
static_assert(sizeof(void*) != 8 || sizeof(MidiEvent) <= 72,
              "a song holds a million events: a field that widens the event costs megabytes");

class EventPool {
public:
    static constexpr size_t blockSize = sizeof(MidiEvent);
    static constexpr size_t slabBytes = kHugePageBytes;

    void* allocate() {
        if (free_) {
            Free* block = free_;
            free_ = block->next;
            return block;
        }
        if (static_cast<size_t>(end_ - next_) < blockSize)
            grow();
        void* block = next_;
        next_ += blockSize;
        return block;
    }

    void release(void* block) {
        auto* f = static_cast<Free*>(block);
        f->next = free_;
        free_ = f;
    }

private:
    struct Free {
        Free* next;
    };

    void grow() {
        void* slab = mapHugePages(slabBytes);
        if (!slab)
            throw std::bad_alloc();
        next_ = static_cast<std::byte*>(slab);
        end_ = next_ + slabBytes;
    }

    Free* free_ = nullptr;
    std::byte* next_ = nullptr;
    std::byte* end_ = nullptr;
};

EventPool& pool() {
    thread_local EventPool threadPool;
    return threadPool;
}
#endif

} // namespace

void* MidiEvent::operator new(size_t size) {
#if REEDTAB_POOLED_MEMORY
    if (size == sizeof(MidiEvent))
        return pool().allocate();
#endif
    return ::operator new(size);
}

void MidiEvent::operator delete(void* block, size_t size) {
#if REEDTAB_POOLED_MEMORY
    if (size == sizeof(MidiEvent)) {
        pool().release(block);
        return;
    }
#else
    (void)size;
#endif
    ::operator delete(block);
}

void MidiEvent::setData(const void* bytes, uint32_t length) {
    auto buffer = std::make_unique<uint8_t[]>(static_cast<size_t>(length) + 1);
    if (length > 0)
        std::memcpy(buffer.get(), bytes, length);
    buffer[length] = 0;
    adoptData(std::move(buffer), length);
}

void MidiEvent::adoptData(std::unique_ptr<uint8_t[]> bytes, uint32_t length) {
    data = std::move(bytes);
    dataLength = length;
}

size_t ChannelEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity, "Channel Message : status = %2x c1 = %3d c2 = %3d", status, data1,
                  data2);
}

size_t NoteOffEvent::describe(char* text, size_t capacity) const {
    char suffix[32];
    return format(text, capacity, "Note Off        : ch %02d note = %3d vel = %3d%s",
                  channelNumber(*this), data1, data2,
                  noteSuffix(*this, false, suffix, sizeof suffix));
}

size_t NoteOnEvent::describe(char* text, size_t capacity) const {
    char suffix[32];
    return format(text, capacity, "Note On         : ch %02d note = %3d vel = %3d%s",
                  channelNumber(*this), data1, data2,
                  noteSuffix(*this, true, suffix, sizeof suffix));
}

size_t ChannelPressureEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity, "Channel Pressure: ch %02d press = %3d", channelNumber(*this),
                  data1);
}

size_t AftertouchEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity, "Aftertouch      : ch %02d note = %3d press = %3d",
                  channelNumber(*this), data1, data2);
}

size_t ControllerEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity, "Controller      : ch %02d %03d:%s = %3d", channelNumber(*this),
                  data1, controllerName(data1), data2);
}

size_t ProgramEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity, "Program         : ch %02d %03d:%s", channelNumber(*this), data1,
                  programName(data1));
}

int32_t PitchWheelEvent::value() const {
    return (((data2 << 7) & 0x3FFF) | (data1 & 0x7F)) - 8192;
}

size_t PitchWheelEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity, "Pitch Wheel     : ch %02d value %d  (%ld)", channelNumber(*this),
                  static_cast<int>(value()), static_cast<long>(duration));
}

size_t SysExEvent::describe(char* text, size_t capacity) const {
    size_t n =
        format(text, capacity, "SysEx           : data = [%d]", static_cast<int>(dataLength));
    // Each byte takes three characters; stop at the first one that does not fit whole.
    for (uint32_t i = 0; data && i < dataLength && n + 4 <= capacity; ++i)
        n += format(text + n, capacity - n, " %02X", data[i]);
    return n;
}

size_t StrangeSysExEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity, "Strange SysEx   : data = [%d] %s", static_cast<int>(dataLength),
                  this->text());
}

size_t MetaEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity, "Meta Event      : type = 0x%2x data = [%d] %s", metaType,
                  static_cast<int>(dataLength), this->text());
}

size_t EndOfTrackEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity, "End of Track    : ");
}

size_t TextEvent::describe(char* text, size_t capacity) const {
    return describeText(*this, "Text            ", text, capacity);
}

size_t CopyrightEvent::describe(char* text, size_t capacity) const {
    return describeText(*this, "Copyright       ", text, capacity);
}

size_t LyricEvent::describe(char* text, size_t capacity) const {
    return describeText(*this, "Lyric           ", text, capacity);
}

size_t TrackNameEvent::describe(char* text, size_t capacity) const {
    return describeText(*this, "Track Name      ", text, capacity);
}

int32_t TempoEvent::value() const {
    if (!data || dataLength < 3)
        return 0;
    return (data[0] << 16) | (data[1] << 8) | data[2];
}

void TempoEvent::setValue(int32_t v) {
    if (!data || dataLength < 3) {
        uint8_t zero[3] = {0, 0, 0};
        setData(zero, 3);
    }
    data[0] = static_cast<uint8_t>((v >> 16) & 0xFF);
    data[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    data[2] = static_cast<uint8_t>(v & 0xFF);
}

size_t TempoEvent::describe(char* text, size_t capacity) const {
    int32_t micros = value();
    double bpm = micros > 0 ? 60000000.0 / micros : 0.0;
    return format(text, capacity, "Tempo change    : %ld msec/quarter %.1f bpm",
                  static_cast<long>(micros), bpm);
}

namespace {
// 2 to the power of a signed exponent byte; 0 for exponents that have no integer power.
int powerOfTwo(int exponent) {
    return exponent >= 0 && exponent < 31 ? 1 << exponent : 0;
}
} // namespace

int TimeSignatureEvent::numerator() const {
    return dataLength >= 1 ? data[0] : 4;
}

int TimeSignatureEvent::denominator() const {
    return dataLength >= 2 ? powerOfTwo(static_cast<int8_t>(data[1])) : 4;
}

size_t TimeSignatureEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity,
                  "Time signature  : %d/%d, %d Midi clocks/click, %d 32nd/quarter [%d]",
                  signedByte(*this, 0), powerOfTwo(signedByte(*this, 1)), signedByte(*this, 2),
                  signedByte(*this, 3), static_cast<int>(dataLength));
}

int KeySignatureEvent::sharpsFlats() const {
    return signedByte(*this, 0);
}

bool KeySignatureEvent::isMinor() const {
    return signedByte(*this, 1) != 0;
}

size_t KeySignatureEvent::describe(char* text, size_t capacity) const {
    return format(text, capacity, "Key signature   : Key of %s (%d) %s", keyName(sharpsFlats()),
                  sharpsFlats(), isMinor() ? "m" : "");
}

std::unique_ptr<MidiEvent> makeChannelEvent(uint8_t status, uint8_t data1, uint8_t data2) {
    std::unique_ptr<MidiEvent> event;
    switch (status >> 4) {
    case 0x8:
        event = std::make_unique<NoteOffEvent>();
        break;
    case 0x9:
        event = std::make_unique<NoteOnEvent>();
        break;
    case 0xA:
        event = std::make_unique<AftertouchEvent>();
        break;
    case 0xB:
        event = std::make_unique<ControllerEvent>();
        break;
    case 0xC:
        event = std::make_unique<ProgramEvent>();
        break;
    case 0xD:
        event = std::make_unique<ChannelPressureEvent>();
        break;
    case 0xE:
        event = std::make_unique<PitchWheelEvent>();
        break;
    default:
        event = std::make_unique<ChannelEvent>();
        break;
    }
    event->status = status;
    event->data1 = data1;
    event->data2 = data2;
    return event;
}

std::unique_ptr<MidiEvent> makeMetaEvent(uint8_t type, const void* bytes, uint32_t length) {
    std::unique_ptr<MidiEvent> event;
    switch (type) {
    case MetaText:
        event = std::make_unique<TextEvent>();
        break;
    case MetaCopyright:
        event = std::make_unique<CopyrightEvent>();
        break;
    case MetaTrackName:
        event = std::make_unique<TrackNameEvent>();
        break;
    case MetaLyric:
        event = std::make_unique<LyricEvent>();
        break;
    case MetaEndOfTrack:
        event = std::make_unique<EndOfTrackEvent>();
        break;
    case MetaTempo:
        event = std::make_unique<TempoEvent>();
        break;
    case MetaTimeSignature:
        event = std::make_unique<TimeSignatureEvent>();
        break;
    case MetaKeySignature:
        event = std::make_unique<KeySignatureEvent>();
        break;
    default:
        event = std::make_unique<MetaEvent>();
        break;
    }
    event->metaType = type;
    event->setData(bytes, length);
    return event;
}

std::unique_ptr<TempoEvent> makeTempoEvent(int32_t microsPerQuarter) {
    auto event = std::make_unique<TempoEvent>();
    event->metaType = MetaTempo;
    event->setValue(microsPerQuarter);
    return event;
}

std::unique_ptr<TempoEvent> makeTempoEventFromBpm(double bpm) {
    if (!(bpm > 0))
        bpm = 120;
    return makeTempoEvent(static_cast<int32_t>(60000000.0 / bpm));
}

std::unique_ptr<TimeSignatureEvent> makeTimeSignatureEvent(int numerator, int denominator,
                                                           int clocksPerClick,
                                                           int thirtySecondsPerQuarter) {
    int log2 = 0;
    for (int d = denominator; d > 1; d /= 2)
        ++log2;
    uint8_t bytes[4] = {static_cast<uint8_t>(numerator), static_cast<uint8_t>(log2),
                        static_cast<uint8_t>(clocksPerClick),
                        static_cast<uint8_t>(thirtySecondsPerQuarter)};
    auto event = std::make_unique<TimeSignatureEvent>();
    event->metaType = MetaTimeSignature;
    event->setData(bytes, 4);
    return event;
}

std::unique_ptr<KeySignatureEvent> makeKeySignatureEvent(int sharpsFlats, bool minor) {
    int count = sharpsFlats >= -7 && sharpsFlats <= 7 ? sharpsFlats : 0;
    uint8_t bytes[2] = {static_cast<uint8_t>(static_cast<int8_t>(count)),
                        static_cast<uint8_t>(minor ? 1 : 0)};
    auto event = std::make_unique<KeySignatureEvent>();
    event->metaType = MetaKeySignature;
    event->setData(bytes, 2);
    return event;
}

std::unique_ptr<EndOfTrackEvent> makeEndOfTrackEvent() {
    auto event = std::make_unique<EndOfTrackEvent>();
    event->metaType = MetaEndOfTrack;
    return event;
}

namespace {
// Editor-made texts count their terminating zero in dataLength and write it to the file.
template <class Event>
std::unique_ptr<Event> makeEditorText(uint16_t type, std::string_view text) {
    auto event = std::make_unique<Event>();
    event->metaType = type;
    std::string copy(text);
    event->setData(copy.c_str(), static_cast<uint32_t>(copy.size() + 1));
    return event;
}
} // namespace

std::unique_ptr<TextEvent> makeTextEvent(std::string_view text) {
    return makeEditorText<TextEvent>(MetaText, text);
}

std::unique_ptr<TrackNameEvent> makeTrackNameEvent(std::string_view name) {
    return makeEditorText<TrackNameEvent>(MetaTrackName, name);
}

std::unique_ptr<LyricEvent> makeLyricEvent(std::string_view text) {
    auto event = std::make_unique<LyricEvent>();
    event->metaType = MetaLyric;
    event->setData(text.data(), static_cast<uint32_t>(text.size()));
    return event;
}

std::unique_ptr<SysExEvent> makeSysExEvent(const void* bytes, uint32_t length) {
    auto event = std::make_unique<SysExEvent>();
    event->setData(bytes, length);
    return event;
}

} // namespace reedtab

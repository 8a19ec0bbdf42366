#include "formats/tabtext.h"

#include "model/midisong.h"

#include <algorithm>
#include <cctype>

namespace reedtab {

namespace {

constexpr int kHarmonicaProgram = 22;
constexpr int kVelocity = 100;
constexpr std::string_view kCurlyApostrophe = "\xE2\x80\x99";
// Quarter notes a text may hold: past it the ticks of a song at any division would overflow.
constexpr int kMaxBeats = 1 << 20;

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A line of tablature starts with a sign, a hole number, a chord, a bar line or a named note;
// a line of nothing but dashes and the like is a ruler.
bool isTabLine(std::string_view line) {
    line = trimmed(line);
    if (line.empty() ||
        std::string_view("+-0123456789(|[").find(line.front()) == std::string_view::npos) {
        return false;
    }
    return line.find_first_not_of("-=_*~ \t") != std::string_view::npos;
}

int columnOf(std::string_view line, std::size_t byte) {
    return 1 + static_cast<int>(std::count_if(
                   line.begin(), line.begin() + static_cast<std::ptrdiff_t>(byte),
                   [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// One piece of a line of tablature, as written.
struct Item {
    enum Kind { Note, Chord, Name, Bar, Bad } kind = Note;
    std::size_t at = 0;                  // byte of the line where it starts
    std::vector<std::string_view> words; // the tokens of a note or chord, the text of a name
    std::vector<std::size_t> wordAt;
    std::string problem; // for Bad
};

// Splits the inside of a chord into tokens: at blanks, and before a sign that follows a token
// ("-1-2-3"), but not inside a note name ("[C-1]").
void chordTokens(std::string_view inside, std::size_t offset, Item& item) {
    std::size_t start = std::string_view::npos;
    bool inName = false;
    auto end = [&](std::size_t i) {
        if (start != std::string_view::npos) {
            item.words.push_back(inside.substr(start, i - start));
            item.wordAt.push_back(offset + start);
            start = std::string_view::npos;
        }
    };
    for (std::size_t i = 0; i < inside.size(); ++i) {
        const char c = inside[i];
        if (isBlank(c) && !inName) {
            end(i);
            continue;
        }
        if ((c == '+' || c == '-') && !inName && start != std::string_view::npos &&
            inside[i - 1] != '+' && inside[i - 1] != '-') {
            end(i);
        }
        if (start == std::string_view::npos) {
            start = i;
        }
        inName = c == '[' || (inName && c != ']');
    }
    end(inside.size());
}

std::vector<Item> itemsOf(std::string_view line) {
    std::vector<Item> items;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (isBlank(c)) {
            ++i;
        } else if (c == '|' || c == ':') {
            items.push_back({Item::Bar, i, {}, {}, {}});
            while (i < line.size() && (line[i] == '|' || line[i] == ':')) {
                ++i;
            }
        } else if (c == '(' || c == '[') {
            const char close = c == '(' ? ')' : ']';
            const std::size_t end = line.find(close, i + 1);
            if (end == std::string_view::npos) {
                items.push_back(
                    {Item::Bad, i, {}, {}, std::string("\"") + c + "\" without \"" + close + "\""});
                return items;
            }
            Item item{c == '(' ? Item::Chord : Item::Name, i, {}, {}, {}};
            if (c == '(') {
                chordTokens(line.substr(i + 1, end - i - 1), i + 1, item);
                if (item.words.empty()) {
                    item = {Item::Bad, i, {}, {}, "an empty chord"};
                }
            } else {
                item.words.push_back(trimmed(line.substr(i + 1, end - i - 1)));
                item.wordAt.push_back(i + 1);
            }
            items.push_back(std::move(item));
            i = end + 1;
        } else if (c == ')' || c == ']') {
            items.push_back(
                {Item::Bad, i, {}, {}, std::string("\"") + c + "\" without its opening"});
            return items;
        } else {
            const std::size_t start = i;
            while (i < line.size() && !isBlank(line[i]) &&
                   std::string_view("|([").find(line[i]) == std::string_view::npos) {
                ++i;
            }
            items.push_back({Item::Note, start, {line.substr(start, i - start)}, {start}, {}});
        }
    }
    return items;
}

// What a token says about how a note is played.
struct Spelling {
    int hole = 0;
    int blow = -1; // 1 blow, 0 draw, -1 not written
    int marks = 0; // apostrophes: bends on a diatonic, the low octave on a chromatic
    int bBends = 0;
    bool over = false;
    bool slide = false;
};

std::optional<Spelling> spellingOf(std::string_view token, std::string& problem) {
    Spelling s;
    std::size_t i = 0;
    auto cannotRead = [&] {
        problem = "cannot read \"" + std::string(token) + "\"";
        return std::nullopt;
    };
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        s.blow = token[i++] == '+' ? 1 : 0;
    }
    const std::size_t digits = i;
    while (i < token.size() && i - digits < 2 &&
           std::isdigit(static_cast<unsigned char>(token[i]))) {
        s.hole = s.hole * 10 + (token[i++] - '0');
    }
    if (i == digits) {
        return cannotRead();
    }
    while (i < token.size()) {
        const char c = token[i];
        if (c == 'B' || c == 'D') {
            const int blow = c == 'B' ? 1 : 0;
            if (s.blow == 1 - blow) {
                problem = "\"" + std::string(token) + "\" is both blown and drawn";
                return std::nullopt;
            }
            s.blow = blow;
        } else if (c == '\'') {
            ++s.marks;
        } else if (c == '"') {
            s.marks += 2;
        } else if (token.substr(i).starts_with(kCurlyApostrophe)) {
            ++s.marks;
            i += kCurlyApostrophe.size() - 1;
        } else if (c == 'b') {
            ++s.bBends;
        } else if (c == 'o' || c == 'O' || c == '#') {
            s.over = true;
        } else if (c == '<') {
            s.slide = true;
        } else {
            return cannotRead();
        }
        ++i;
    }
    return s;
}

// Every way the layout plays every note, to look tokens up in.
struct Way {
    Playing playing;
    int key = 0;
    int alternative = 0;
};

std::vector<Way> waysOf(const HarmonicaLayout& layout) {
    std::vector<Way> ways;
    for (int key = 0; key <= 127; ++key) {
        const auto& codes = layout.noteMap(key);
        for (std::size_t k = 0; k < codes.size(); ++k) {
            ways.push_back({layout.playingOf(codes[k]), key, static_cast<int>(k)});
        }
    }
    return ways;
}

bool isChromatic(const std::vector<Way>& ways) {
    return std::any_of(ways.begin(), ways.end(),
                       [](const Way& way) { return way.playing.slide || way.playing.lowOctave; });
}

std::optional<TabNote> noteOfToken(std::string_view token, const std::vector<Way>& ways,
                                   bool chromatic, bool bareIsDraw, const HarmonicaLayout& layout,
                                   std::string& problem) {
    const std::optional<Spelling> s = spellingOf(token, problem);
    if (!s) {
        return std::nullopt;
    }
    const int bends = chromatic ? 0 : s->marks + s->bBends;
    const bool lowOctave = chromatic && s->marks > 0;
    if (chromatic && (s->bBends > 0 || s->over || s->marks > 1)) {
        problem = "\"" + std::string(token) + "\": a chromatic harmonica has no bends or overblows";
        return std::nullopt;
    }
    // An over is played on whichever reed gives it, so a token without a breath still names it.
    const int blow = s->blow != -1 ? s->blow : s->over ? -1 : bareIsDraw ? 0 : 1;
    for (const Way& way : ways) {
        const Playing& p = way.playing;
        if (p.hole == s->hole && p.lowOctave == lowOctave && p.bend == bends && p.over == s->over &&
            p.slide == s->slide && (blow == -1 || p.blow == (blow == 1))) {
            return TabNote{way.key, way.alternative};
        }
    }
    problem = "\"" + std::string(token) + "\" is not played on the " + layout.layoutTitle();
    return std::nullopt;
}

std::optional<TabNote> noteOfName(std::string_view name, std::string& problem) {
    static constexpr std::string_view kLetters = "CDEFGAB";
    static constexpr int kClasses[] = {0, 2, 4, 5, 7, 9, 11};
    const auto fail = [&] {
        problem = "cannot read the note name \"" + std::string(name) + "\"";
        return std::nullopt;
    };
    if (name.empty()) {
        return fail();
    }
    const auto letter =
        kLetters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))));
    if (letter == std::string_view::npos) {
        return fail();
    }
    int pitch = kClasses[letter];
    std::size_t i = 1;
    if (i < name.size() && (name[i] == '#' || name[i] == 'b')) {
        pitch += name[i++] == '#' ? 1 : -1;
    }
    const bool negative = i < name.size() && name[i] == '-';
    i += negative ? 1 : 0;
    if (i == name.size() || i + 2 < name.size()) {
        return fail();
    }
    int octave = 0;
    for (; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return fail();
        }
        octave = octave * 10 + (name[i] - '0');
    }
    const int key = ((negative ? -octave : octave) + 1) * 12 + pitch;
    if (key < 0 || key > 127) {
        return fail();
    }
    return TabNote{key, -1};
}

// Bare numbers are draws when the text writes blows with "+" and never writes "-".
bool bareNumbersDraw(const std::vector<std::vector<Item>>& lines, TabStyle style) {
    if (style != TabStyle::Auto) {
        return style == TabStyle::DrawDefault;
    }
    bool plus = false;
    bool minus = false;
    bool bare = false;
    for (const auto& items : lines) {
        for (const Item& item : items) {
            if (item.kind != Item::Note && item.kind != Item::Chord) {
                continue;
            }
            for (const std::string_view word : item.words) {
                plus = plus || word.front() == '+';
                minus = minus || word.front() == '-';
                bare = bare || (std::isdigit(static_cast<unsigned char>(word.front())) &&
                                word.find_first_of("BD") == std::string_view::npos);
            }
        }
    }
    return plus && bare && !minus;
}

} // namespace

std::string TabReadError::text() const {
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

TabHeader readTabHeader(std::string_view text) {
    TabHeader header;
    std::string firstLine;
    for (const std::string_view line : linesOf(text)) {
        if (isTabLine(line)) {
            break;
        }
        const std::string_view body = trimmed(line);
        bool field = false;
        for (auto [value, name] : {std::pair{&header.title, std::string_view("Title:")},
                                   std::pair{&header.harp, std::string_view("Harp:")},
                                   std::pair{&header.position, std::string_view("Position:")}}) {
            if (body.starts_with(name)) {
                field = true;
                if (value->empty()) {
                    *value = std::string(trimmed(body.substr(name.size())));
                }
            }
        }
        if (!field && firstLine.empty()) {
            firstLine = std::string(body);
        }
    }
    // A tab posted without a header names the song on its first line.
    if (header.title.empty()) {
        header.title = firstLine;
    }
    return header;
}

std::optional<std::vector<TabChord>> readTabText(std::string_view text,
                                                 const HarmonicaLayout& layout,
                                                 const TabReadOptions& options,
                                                 TabReadError& error) {
    const std::vector<std::string_view> lines = linesOf(text);
    std::vector<std::vector<Item>> items(lines.size());
    for (std::size_t l = 0; l < lines.size(); ++l) {
        if (isTabLine(lines[l])) {
            items[l] = itemsOf(lines[l]);
        }
    }
    const bool bareIsDraw = bareNumbersDraw(items, options.style);
    const std::vector<Way> ways = waysOf(layout);
    const bool chromatic = isChromatic(ways);
    const int beatsPerBar = std::max(1, options.beatsPerBar);
    auto barStart = [beatsPerBar](int beat) {
        return (beat + beatsPerBar - 1) / beatsPerBar * beatsPerBar;
    };

    std::vector<TabChord> chords;
    int beat = 0;
    for (std::size_t l = 0; l < lines.size(); ++l) {
        auto fail = [&](std::size_t at, std::string message) {
            error = {static_cast<int>(l) + 1, columnOf(lines[l], at), std::move(message)};
            return std::nullopt;
        };
        bool notes = false;
        for (const Item& item : items[l]) {
            if (beat >= kMaxBeats) {
                return fail(item.at, "the tablature is too long");
            }
            switch (item.kind) {
            case Item::Bad:
                return fail(item.at, item.problem);
            case Item::Bar:
                beat = barStart(beat);
                break;
            case Item::Name: {
                std::string problem;
                const auto note = noteOfName(item.words[0], problem);
                if (!note) {
                    return fail(item.wordAt[0], problem);
                }
                chords.push_back({beat++, {*note}});
                notes = true;
                break;
            }
            case Item::Note:
            case Item::Chord: {
                TabChord chord{beat++, {}};
                for (std::size_t w = 0; w < item.words.size(); ++w) {
                    std::string problem;
                    const std::string_view word = item.words[w];
                    const auto note =
                        word.starts_with('[') && word.ends_with(']')
                            ? noteOfName(word.substr(1, word.size() - 2), problem)
                            : noteOfToken(word, ways, chromatic, bareIsDraw, layout, problem);
                    if (!note) {
                        return fail(item.wordAt[w], problem);
                    }
                    chord.notes.push_back(*note);
                }
                chords.push_back(std::move(chord));
                notes = true;
                break;
            }
            }
        }
        if (notes) {
            beat = barStart(beat);
        }
    }
    if (chords.empty()) {
        error = {1, 1, "no line of tablature"};
        return std::nullopt;
    }
    return chords;
}

void tabSong(const std::vector<TabChord>& chords, const HarmonicaLayout& layout,
             const TabSongOptions& options, MidiSong& song) {
    song.clear();
    song.format = 1;
    song.division = static_cast<int16_t>(options.division);
    song.tracks.push_back(std::make_unique<MidiTrack>());
    MidiTrack& track = *song.tracks.back();
    // Events go in as written, so that a note-off comes before a note-on of the same tick and
    // a repeated note ends before it sounds again.
    auto add = [&](int32_t tick, std::unique_ptr<MidiEvent> event) {
        event->tick = tick;
        MidiEvent* added = track.append(std::move(event));
        song.mergedEvents.insert(added);
        return added;
    };
    if (!options.title.empty()) {
        track.name = options.title;
        add(0, makeTrackNameEvent(options.title));
    }
    auto signature = makeTimeSignatureEvent(std::max(1, options.beatsPerBar), 4);
    song.timeSignatureList.push_back(signature.get());
    add(0, std::move(signature));
    auto tempo = makeTempoEventFromBpm(options.tempo);
    song.tempoList.push_back(tempo.get());
    add(0, std::move(tempo));
    add(0, makeChannelEvent(0xC0, kHarmonicaProgram, 0));
    track.addChannel(0);

    const int32_t quarter = options.division;
    std::vector<int> sounding;
    int32_t end = 0;
    for (const TabChord& chord : chords) {
        const int32_t tick = chord.beat * quarter;
        for (const int key : sounding) {
            add(end, makeChannelEvent(0x80, static_cast<uint8_t>(key), 0));
        }
        sounding.clear();
        for (const TabNote& note : chord.notes) {
            if (std::find(sounding.begin(), sounding.end(), note.key) != sounding.end()) {
                continue;
            }
            MidiEvent* on =
                add(tick, makeChannelEvent(0x90, static_cast<uint8_t>(note.key), kVelocity));
            on->fingering =
                note.alternative > 0 ? layout.fingeringFor(note.key, note.alternative) : 0;
            sounding.push_back(note.key);
        }
        end = tick + quarter;
    }
    for (const int key : sounding) {
        add(end, makeChannelEvent(0x80, static_cast<uint8_t>(key), 0));
    }
    add(end, makeEndOfTrackEvent());
    song.length = end;
    song.rebuildBars();
    song.repairAllTracks();
}

} // namespace reedtab

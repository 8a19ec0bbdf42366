#pragma once

// A MusicXML reader of the tests' own, written from the MusicXML rules and not from the
// writer: a small XML parser, then a partwise score walked measure by measure. It reports
// every measure whose voices do not fill its time signature, and gives back each part's notes
// with ties joined, in absolute divisions.

#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace reedtab::testing {

struct XmlElement {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;
    std::vector<XmlElement> children;

    const XmlElement* child(std::string_view childName) const {
        for (const XmlElement& c : children) {
            if (c.name == childName) {
                return &c;
            }
        }
        return nullptr;
    }
    std::string childText(std::string_view childName) const {
        const XmlElement* c = child(childName);
        return c ? c->text : std::string();
    }
    bool has(std::string_view childName) const { return child(childName) != nullptr; }
};

class XmlParser {
public:
    explicit XmlParser(std::string_view text) : text_(text) {}

    std::optional<XmlElement> document(std::string& error) {
        skipProlog();
        std::optional<XmlElement> root = element();
        skipMisc();
        if (root && at_ != text_.size()) {
            fail("text after the root element");
        }
        error = error_;
        return error_.empty() ? root : std::nullopt;
    }

private:
    void fail(const std::string& why) {
        if (error_.empty()) {
            error_ = why + " at byte " + std::to_string(at_);
        }
    }
    bool startsWith(std::string_view s) const { return text_.substr(at_).starts_with(s); }
    void skipSpace() {
        while (at_ < text_.size() &&
               std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos) {
            ++at_;
        }
    }
    void skipPast(std::string_view end) {
        const auto found = text_.find(end, at_);
        at_ = found == std::string_view::npos ? text_.size() : found + end.size();
    }
    void skipMisc() {
        for (;;) {
            skipSpace();
            if (startsWith("<?")) {
                skipPast("?>");
            } else if (startsWith("<!--")) {
                skipPast("-->");
            } else if (startsWith("<!DOCTYPE")) {
                skipPast(">");
            } else {
                return;
            }
        }
    }
    void skipProlog() { skipMisc(); }

    std::string name() {
        const std::size_t start = at_;
        while (at_ < text_.size() &&
               (std::isalnum(static_cast<unsigned char>(text_[at_])) ||
                std::string_view("-_:.").find(text_[at_]) != std::string_view::npos)) {
            ++at_;
        }
        if (at_ == start) {
            fail("a name expected");
        }
        return std::string(text_.substr(start, at_ - start));
    }

    std::string decoded(std::string_view raw) {
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '&') {
                out += raw[i];
                continue;
            }
            const auto end = raw.find(';', i);
            if (end == std::string_view::npos) {
                fail("an unfinished entity");
                return out;
            }
            const std::string_view entity = raw.substr(i + 1, end - i - 1);
            static const std::map<std::string_view, char> named = {
                {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
            if (const auto it = named.find(entity); it != named.end()) {
                out += it->second;
            } else if (entity.starts_with("#")) {
                out += static_cast<char>(std::stoi(std::string(entity.substr(1))));
            } else {
                fail("an unknown entity");
            }
            i = end;
        }
        return out;
    }

    std::optional<XmlElement> element() {
        if (!startsWith("<")) {
            fail("an element expected");
            return std::nullopt;
        }
        ++at_;
        XmlElement e;
        e.name = name();
        for (;;) {
            skipSpace();
            if (startsWith("/>")) {
                at_ += 2;
                return e;
            }
            if (startsWith(">")) {
                ++at_;
                break;
            }
            const std::string attribute = name();
            skipSpace();
            if (!startsWith("=\"")) {
                fail("an attribute value expected");
                return std::nullopt;
            }
            at_ += 2;
            const auto end = text_.find('"', at_);
            if (end == std::string_view::npos || !error_.empty()) {
                fail("an unfinished attribute");
                return std::nullopt;
            }
            e.attributes[attribute] = decoded(text_.substr(at_, end - at_));
            at_ = end + 1;
        }
        for (;;) {
            if (at_ >= text_.size() || !error_.empty()) {
                fail("an unclosed element " + e.name);
                return std::nullopt;
            }
            if (startsWith("</")) {
                at_ += 2;
                if (name() != e.name) {
                    fail("a closing tag that does not match " + e.name);
                    return std::nullopt;
                }
                skipSpace();
                if (!startsWith(">")) {
                    fail("an unfinished closing tag");
                    return std::nullopt;
                }
                ++at_;
                return e;
            }
            if (startsWith("<!--")) {
                skipPast("-->");
            } else if (startsWith("<")) {
                std::optional<XmlElement> c = element();
                if (!c) {
                    return std::nullopt;
                }
                e.children.push_back(std::move(*c));
            } else {
                const auto end = text_.find('<', at_);
                e.text += decoded(text_.substr(at_, end - at_));
                at_ = end == std::string_view::npos ? text_.size() : end;
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string error_;
};

/// A note as the score gives it, ties joined: start and length in divisions from the start.
struct ScoreNote {
    int64_t start = 0;
    int64_t length = 0;
    int key = 0;
    bool operator<(const ScoreNote& o) const {
        return std::tie(start, key, length) < std::tie(o.start, o.key, o.length);
    }
    bool operator==(const ScoreNote& o) const = default;
};

struct ScorePart {
    std::string id;
    std::string name;
    int program = 0; ///< as written, 1..128
    int channel = 0; ///< as written, 1..16
    std::vector<ScoreNote> notes;
    /// Lyric texts by line number ("1", "2"), in the order of their notes.
    std::map<std::string, std::vector<std::string>> lyrics;
    std::vector<std::string> syllabics;
    /// (measure number, fifths) of every key and (measure number, "beats/beat-type") of every
    /// time signature written.
    std::vector<std::pair<int, int>> keys;
    std::vector<std::pair<int, std::string>> times;
    /// (absolute division, tempo) of every tempo given by a sound element.
    std::vector<std::pair<int64_t, double>> tempos;
    std::vector<std::string> pitchSpellings; ///< "Eb4", "F#3", in note order
};

struct Score {
    int divisions = 0;
    std::string title;
    std::vector<ScorePart> parts;
    /// One line for every measure that breaks the rules.
    std::vector<std::string> problems;
};

inline int stepClass(const std::string& step) {
    static const std::map<std::string, int> classes = {{"C", 0}, {"D", 2}, {"E", 4}, {"F", 5},
                                                       {"G", 7}, {"A", 9}, {"B", 11}};
    const auto it = classes.find(step);
    return it == classes.end() ? -100 : it->second;
}

/// Reads a partwise score; `error` says why the XML itself could not be read.
inline std::optional<Score> readScore(std::string_view xml, std::string& error) {
    std::optional<XmlElement> root = XmlParser(xml).document(error);
    if (!root) {
        return std::nullopt;
    }
    if (root->name != "score-partwise" || root->attributes["version"] != "4.0") {
        error = "not a partwise MusicXML 4.0 score";
        return std::nullopt;
    }
    Score score;
    if (const XmlElement* work = root->child("work")) {
        score.title = work->childText("work-title");
    }
    const XmlElement* list = root->child("part-list");
    if (!list) {
        error = "no part-list";
        return std::nullopt;
    }
    for (const XmlElement& p : list->children) {
        if (p.name != "score-part") {
            continue;
        }
        ScorePart part;
        part.id = p.attributes.at("id");
        part.name = p.childText("part-name");
        if (const XmlElement* midi = p.child("midi-instrument")) {
            part.program = std::stoi(midi->childText("midi-program"));
            part.channel = std::stoi(midi->childText("midi-channel"));
        }
        score.parts.push_back(part);
    }
    std::size_t index = 0;
    for (const XmlElement& p : root->children) {
        if (p.name != "part") {
            continue;
        }
        if (index >= score.parts.size() || p.attributes.at("id") != score.parts[index].id) {
            error = "parts out of step with the part list";
            return std::nullopt;
        }
        ScorePart& part = score.parts[index++];
        int divisions = 0;
        int beats = 4;
        int beatType = 4;
        int64_t measureStart = 0;
        struct Open {
            int64_t start;
            int64_t length;
        };
        std::map<std::pair<std::string, int>, Open> tied; // by voice and key
        for (const XmlElement& m : p.children) {
            if (m.name != "measure") {
                continue;
            }
            const int number = std::stoi(m.attributes.at("number"));
            const bool implicit =
                m.attributes.count("implicit") && m.attributes.at("implicit") == "yes";
            int64_t cursor = 0;
            int64_t lastStart = 0;
            int64_t segment = -1; // what the first voice of the measure filled
            std::vector<int64_t> ends;
            for (const XmlElement& e : m.children) {
                if (e.name == "attributes") {
                    if (e.has("divisions")) {
                        divisions = std::stoi(e.childText("divisions"));
                        score.divisions = divisions;
                    }
                    if (const XmlElement* key = e.child("key")) {
                        part.keys.emplace_back(number, std::stoi(key->childText("fifths")));
                    }
                    if (const XmlElement* time = e.child("time")) {
                        beats = std::stoi(time->childText("beats"));
                        beatType = std::stoi(time->childText("beat-type"));
                        part.times.emplace_back(number, time->childText("beats") + "/" +
                                                            time->childText("beat-type"));
                    }
                } else if (e.name == "backup") {
                    ends.push_back(cursor);
                    cursor -= std::stoll(e.childText("duration"));
                    if (cursor < 0) {
                        score.problems.push_back(part.id + " measure " + std::to_string(number) +
                                                 ": backup before its start");
                    }
                } else if (e.name == "forward") {
                    cursor += std::stoll(e.childText("duration"));
                } else if (e.name == "direction") {
                    if (const XmlElement* sound = e.child("sound");
                        sound && sound->attributes.count("tempo")) {
                        const int64_t offset =
                            e.has("offset") ? std::stoll(e.childText("offset")) : 0;
                        part.tempos.emplace_back(measureStart + cursor + offset,
                                                 std::stod(sound->attributes.at("tempo")));
                    }
                } else if (e.name == "note") {
                    const int64_t duration = std::stoll(e.childText("duration"));
                    const bool chord = e.has("chord");
                    const int64_t start = chord ? lastStart : cursor;
                    if (!chord) {
                        lastStart = cursor;
                        cursor += duration;
                    }
                    const XmlElement* pitch = e.child("pitch");
                    if (!pitch) {
                        continue;
                    }
                    const std::string alterText = pitch->childText("alter");
                    const int alter = alterText.empty() ? 0 : std::stoi(alterText);
                    const int octave = std::stoi(pitch->childText("octave"));
                    const int key = (octave + 1) * 12 + stepClass(pitch->childText("step")) + alter;
                    part.pitchSpellings.push_back(
                        pitch->childText("step") +
                        (alter > 0 ? std::string(static_cast<std::size_t>(alter), '#')
                                   : std::string(static_cast<std::size_t>(-alter), 'b')) +
                        std::to_string(octave));
                    bool tieStart = false;
                    bool tieStop = false;
                    for (const XmlElement& c : e.children) {
                        if (c.name == "tie") {
                            tieStart = tieStart || c.attributes.at("type") == "start";
                            tieStop = tieStop || c.attributes.at("type") == "stop";
                        }
                        if (c.name == "lyric") {
                            part.lyrics[c.attributes.at("number")].push_back(c.childText("text"));
                            if (c.attributes.at("number") == "1") {
                                part.syllabics.push_back(c.childText("syllabic"));
                            }
                        }
                    }
                    const auto slot = std::pair(e.childText("voice"), key);
                    Open note{measureStart + start, duration};
                    if (tieStop) {
                        const auto open = tied.find(slot);
                        if (open == tied.end() ||
                            open->second.start + open->second.length != note.start) {
                            score.problems.push_back(part.id + " measure " +
                                                     std::to_string(number) +
                                                     ": a tie that continues nothing");
                        } else {
                            note = {open->second.start, open->second.length + duration};
                            tied.erase(open);
                        }
                    }
                    if (tieStart) {
                        tied[slot] = note;
                    } else {
                        part.notes.push_back({note.start, note.length, key});
                    }
                }
            }
            ends.push_back(cursor);
            const int64_t full = static_cast<int64_t>(divisions) * 4 * beats / beatType;
            for (const int64_t end : ends) {
                if (segment < 0) {
                    segment = end;
                }
                const bool right =
                    implicit ? end == segment && end <= full && end > 0 : end == full;
                if (!right) {
                    score.problems.push_back(part.id + " measure " + std::to_string(number) +
                                             ": a voice lasts " + std::to_string(end) + " of " +
                                             std::to_string(full));
                }
            }
            measureStart += segment;
        }
        if (!tied.empty()) {
            score.problems.push_back(part.id + ": a tie left open at the end");
        }
    }
    return score;
}

} // namespace reedtab::testing

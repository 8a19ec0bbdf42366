#pragma once

// The fixture the view's widget tests share: a document with a song built in the test
// (division 480, 4/4), a scripted player and the two harmonica layouts.

#include "view/reedtabview.h"

#include "document/documentui.h"
#include "document/playercontrol.h"
#include "document/reedtabdoc.h"
#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "model/midisong.h"
#include "settings/settings.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace reedtab {

class ScriptedPlayer : public ViewPlayer {
public:
    bool isPlaying() const override { return playing; }
    std::int32_t playTick() const override { return tick; }
    int nextEventIndex() const override { return next; }
    void seek(std::int32_t t) override {
        tick = t;
        seeks.push_back(t);
    }
    void noteOn(int channel, int key, int velocity) override {
        sounded.push_back({channel, key, velocity});
    }
    void noteOff(int channel, int key) override { sounded.push_back({channel, key, 0}); }

    struct Sound {
        int channel;
        int key;
        int velocity; // 0 for the note's end
        bool operator==(const Sound&) const = default;
    };

    bool playing = false;
    std::int32_t tick = 0;
    int next = -1;
    std::vector<std::int32_t> seeks;
    std::vector<Sound> sounded;
};

inline QColor rgb(const Rgb& c) {
    return QColor(c.red, c.green, c.blue);
}

// A view over a song built in the test; division 480, 4/4, one or more tracks.
class ViewTest : public ::testing::Test {
protected:
    ViewTest() : doc(ui, control), diatonic(options), chromatic(options) {
        diatonic.init(60, -1);
        chromatic.init(60, -1);
        song().division = 480;
        addTrack();
    }

    MidiSong& song() { return doc.song; }

    int addTrack() {
        auto track = std::make_unique<MidiTrack>();
        track->index = song().trackCount();
        song().tracks.push_back(std::move(track));
        if (song().trackCount() == 1) {
            song().addEvent(0, 0, makeTimeSignatureEvent(4, 4));
            song().timeSignatureList.push_back(
                static_cast<TimeSignatureEvent*>(song().tracks[0]->events.front().get()));
        }
        return song().trackCount() - 1;
    }

    // A paired note; returns the note-on.
    MidiEvent* addNote(int track, int key, std::int32_t tick, std::int32_t duration,
                       int channel = 0) {
        song().addEvent(tick, track, makeChannelEvent(0x90 | channel, key, 100));
        MidiEvent* on = nullptr;
        for (const auto& e : song().tracks[track]->events) {
            if (e->tick == tick && e->kind() == KindNoteOn && e->data1 == key) {
                on = e.get();
            }
        }
        song().addEvent(tick + duration, track, makeChannelEvent(0x80 | channel, key, 0));
        for (const auto& e : song().tracks[track]->events) {
            if (e->tick == tick + duration && e->kind() == KindNoteOff && e->data1 == key) {
                on->partner = e.get();
                e->partner = on;
            }
        }
        on->duration = duration;
        return on;
    }

    void addLyric(int track, std::int32_t tick, const std::string& text) {
        song().addEvent(tick, track, makeLyricEvent(text));
    }

    // Builds the bars and the note flags and shows the view at the given size.
    CReedtabView& makeView(int width = 900, int height = 420) {
        song().rebuildBars();
        view = std::make_unique<CReedtabView>(doc, player, options, diatonic, chromatic);
        view->refreshNoteFlags();
        view->resize(width, height);
        paint();
        return *view;
    }

    // One full paint, as the window would get it.
    QImage paint() {
        view->repaintView();
        view->grab();
        return view->canvas();
    }

    int indexOf(const MidiEvent* e) const { return doc.song.mergedEvents.indexOf(e); }

    QuietDocumentUi ui;
    IdlePlayerControl control;
    CReedtabDoc doc;
    Settings options;
    DiatonicLayout diatonic;
    ChromaticLayout chromatic;
    ScriptedPlayer player;
    std::unique_ptr<CReedtabView> view;
};

} // namespace reedtab

// The lyrics window (the words of a karaoke file marked as they are sung, saved as text) and
// the MIDI events window (every event described, the one just reached at the top).

#include "apptestsupport.h"

#include "app/transportcontroller.h"
#include "toolsongs.h"

#include "document/product.h"
#include "document/reedtabdoc.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "tools/eventswindow.h"
#include "tools/lyricswindow.h"
#include "tools/toolwindows.h"
#include "ui/transporthub.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <cstring>

namespace reedtab {
namespace {

using testing::TestProgram;

const QString kKaraoke = QStringLiteral(REEDTAB_SOURCE_DIR "/examples/amazing-grace.kar");

template <typename Window>
Window* openWindow(TestProgram& program, int type) {
    ToolWindows& tools = program.frame().toolWindows();
    if (!tools.isOpen(type) && !tools.toggle(type)) {
        return nullptr;
    }
    return static_cast<Window*>(tools.window(type));
}

QStringList linesOf(const QPlainTextEdit& box) {
    QStringList lines;
    for (QTextBlock b = box.document()->begin(); b.isValid(); b = b.next()) {
        lines << b.text();
    }
    return lines;
}

void addWords(MidiSong& song, int track, std::int32_t tick, const char* text, bool lyric) {
    song.addEvent(
        tick, track,
        lyric ? makeMetaEvent(MetaLyric, text, static_cast<std::uint32_t>(std::strlen(text)))
              : makeTextEvent(text));
}

TEST(Lyrics, PiecesBreakLinesDropLanguagesAndEndTitlesWithABreak) {
    TestProgram program;
    CReedtabDoc& doc = program.frame().document();
    testing::buildSong(doc.song, 3, {{0, 0, 60, 0, 480}}, 3840);
    doc.song.setTrackName(1, "Words");
    doc.song.setTrackName(2, "Few");
    int tick = 0;
    for (const char* text : {"@LENGL", "@TTitle", "Hel", "lo/", "world", "\r", "a^b", "\\verse/",
                             "Caf\xe9", " \xc3\xa9t\xc3\xa9"}) {
        addWords(doc.song, 1, tick += 10, text, text[0] != '@');
    }
    addWords(doc.song, 2, 0, "only", true);
    auto* lyrics = openWindow<CMonLyrics>(program, kMonitorLyrics);
    ASSERT_NE(lyrics, nullptr);
    EXPECT_EQ(lyrics->windowTitle(), QStringLiteral("Reedtab Midi Lyrics"));
    // Every track with words is listed; the one with the most is chosen.
    ASSERT_EQ(lyrics->trackList()->count(), 2);
    EXPECT_EQ(lyrics->trackList()->itemText(0), QStringLiteral("01 Words"));
    EXPECT_EQ(lyrics->trackList()->itemText(1), QStringLiteral("02 Few"));
    EXPECT_EQ(lyrics->lyricsTrack(), 1);
    EXPECT_EQ(lyrics->trackList()->currentIndex(), 0);
    // Latin-1 and UTF-8 words both read as the letters they stand for.
    EXPECT_EQ(linesOf(*lyrics->textBox()), (QStringList{"Title", "Hello", "world", "a b", "verse",
                                                        QString::fromUtf8("Café été")}));
    // The event that is only a line break has no place; the others know theirs.
    for (const auto& event : doc.song.tracks[1]->events) {
        if (event->kind() != KindLyric && event->kind() != KindText) {
            continue;
        }
        const std::string text = event->text();
        const bool placed = text != "@LENGL" && text != "\r";
        EXPECT_EQ(event->lyricScratch != 0, placed) << text;
    }

    // Picking the other track shows its words.
    lyrics->trackList()->setCurrentIndex(1);
    emit lyrics->trackList()->activated(1);
    EXPECT_EQ(lyrics->lyricsTrack(), 2);
    EXPECT_EQ(lyrics->textBox()->toPlainText(), QStringLiteral("only"));
}

TEST(Lyrics, TheSyllablesOfTheKaraokeExampleAreMarkedInOrderAsTheyAreReached) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(kKaraoke));
    auto* lyrics = openWindow<CMonLyrics>(program, kMonitorLyrics);
    ASSERT_NE(lyrics, nullptr);
    const MidiSong& song = frame.document().song;
    ASSERT_GE(lyrics->lyricsTrack(), 0);
    const MidiTrack* words = song.tracks[static_cast<std::size_t>(lyrics->lyricsTrack())].get();
    EXPECT_EQ(words->name, "Words");
    const QStringList lines = linesOf(*lyrics->textBox());
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines.mid(0, 3),
              (QStringList{"MIDI KARAOKE FILE", "Amazing Grace", "John Newton, 1779"}));
    EXPECT_EQ(lines[3], "Amazing grace how sweet the sound that saved a wretch like me");
    EXPECT_EQ(lines[4], "I once was lost but now am found was blind but now I see");
    EXPECT_EQ(lines[5], "'Twas grace that taught my heart to fear and grace my fears relieved");

    int reached = 0;
    QObject::connect(&frame.hub(), &TransportHub::positionReached,
                     [&](const PositionReport& report) { reached = report.endEvent; });
    program.app().transportCommands().startPlaying(false, false);
    QStringList marked;
    int lastPlace = -1;
    for (int step = 0; step < 120; ++step) {
        program.play(100);
        // The last word of the track the song has passed is the one marked.
        const MidiEvent* last = nullptr;
        for (int i = 0; i < reached; ++i) {
            const MidiEvent* e = song.mergedEvents[static_cast<std::size_t>(i)];
            if (e->track == words && e->lyricScratch != 0) {
                last = e;
            }
        }
        const QString selected =
            lyrics->textBox()->textCursor().selectedText().remove(QChar::ParagraphSeparator);
        if (!last) {
            ASSERT_TRUE(selected.isEmpty()) << step;
            continue;
        }
        QString word = QString::fromLatin1(last->text());
        if (word.startsWith('@')) {
            word = word.mid(2);
        }
        word = word.remove('/').remove('\\').trimmed();
        ASSERT_EQ(selected, word) << "step " << step;
        ASSERT_GE(last->lyricScratch & 0xFFFF, lastPlace) << "forward only";
        lastPlace = last->lyricScratch & 0xFFFF;
        if (marked.isEmpty() || marked.back() != selected) {
            marked << selected;
        }
    }
    const auto selection = [lyrics] { return lyrics->textBox()->textCursor().selectedText(); };
    ASSERT_FALSE(selection().isEmpty());
    program.app().transportCommands().rewindCommand();
    EXPECT_TRUE(selection().isEmpty()) << "Home takes the mark off the word";
    program.app().transportCommands().stopCommand();
    program.app().transportCommands().startPlaying(false, false);
    program.play(3000);
    ASSERT_FALSE(selection().isEmpty());
    program.app().transportCommands().stopCommand();
    EXPECT_TRUE(selection().isEmpty()) << "Stop takes the mark off the word";
    // The titles at tick 0 go by at once; then the words of the first line, one by one.
    ASSERT_GE(marked.size(), 9);
    EXPECT_EQ(marked.mid(0, 9), (QStringList{"John Newton, 1779", "A", "ma", "zing", "grace", "how",
                                             "sweet", "the", "sound"}));
}

TEST(Lyrics, SavedTextEndsWithTheProductAddress) {
    TestProgram program;
    ASSERT_TRUE(program.app().openFile(kKaraoke));
    auto* lyrics = openWindow<CMonLyrics>(program, kMonitorLyrics);
    ASSERT_NE(lyrics, nullptr);
    QTemporaryDir folder;
    const QString path = folder.filePath("words.txt");
    ASSERT_TRUE(lyrics->saveText(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(file.readAll());
    EXPECT_EQ(saved, linesOf(*lyrics->textBox()).join('\n') + "\n\n\n" +
                         QString::fromLatin1(kProductWebAddress) + "\n");
    EXPECT_TRUE(saved.startsWith("MIDI KARAOKE FILE\nAmazing Grace\n"));
    EXPECT_FALSE(lyrics->saveText(folder.filePath("missing/words.txt")));
}

TEST(Lyrics, AnEmptySongAddedTextAndTheOptionsColours) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    CReedtabDoc& doc = frame.document();
    testing::buildSong(doc.song, 2, {{0, 0, 60, 0, 480}}, 960);
    auto* lyrics = openWindow<CMonLyrics>(program, kMonitorLyrics);
    ASSERT_NE(lyrics, nullptr);
    EXPECT_EQ(lyrics->trackList()->count(), 0);
    EXPECT_EQ(lyrics->lyricsTrack(), -1);
    EXPECT_TRUE(lyrics->textBox()->toPlainText().isEmpty());

    // Text added in edit mode shows at once.
    ASSERT_EQ(doc.addTextEdit(1, 240, "added"), 0);
    EXPECT_EQ(lyrics->lyricsTrack(), 1);
    EXPECT_EQ(lyrics->textBox()->toPlainText(), QStringLiteral("added"));

    const QColor paper = lyrics->textBox()->palette().color(QPalette::Base);
    EXPECT_EQ(paper, QColor(128, 255, 255));
    settings().fontLyricsBg = Rgb{10, 20, 30};
    settings().fontLyricsTxt = Rgb{200, 0, 0};
    settings().fontLyrics.height = -30;
    emit frame.lyricsSettingsChanged();
    EXPECT_EQ(lyrics->textBox()->palette().color(QPalette::Base), QColor(10, 20, 30));
    EXPECT_EQ(lyrics->textBox()->palette().color(QPalette::Text), QColor(200, 0, 0));
    EXPECT_EQ(lyrics->textBox()->font().pixelSize(), 30);
}

TEST(Events, EachLineIsThePositionTrackAndDescriptionOfItsEvent) {
    TestProgram program;
    CReedtabDoc& doc = program.frame().document();
    testing::buildSong(doc.song, 2, {{0, 0, 60, 0, 480}, {1, 1, 62, 1920 + 960 + 5, 4000}}, 4800);
    auto meter = makeTimeSignatureEvent(4, 4);
    doc.song.timeSignatureList.push_back(meter.get());
    doc.song.addEvent(0, 0, std::move(meter));
    doc.song.rebuildBars();
    auto* events = openWindow<CMonEvents>(program, kMonitorEvents);
    ASSERT_NE(events, nullptr);
    EXPECT_EQ(events->windowTitle(), QStringLiteral("Reedtab Midi MIDI Events"));
    const MidiSong& song = doc.song;
    ASSERT_EQ(events->lineCount(), song.mergedEvents.count());
    const int late = song.mergedEvents.lowerBound(1920 + 960 + 5);
    EXPECT_EQ(CMonEvents::lineText(song, late).toStdString(),
              "002:03:005 T01 " + song.mergedEvents[static_cast<std::size_t>(late)]->description());
    EXPECT_TRUE(CMonEvents::lineText(song, 0).startsWith("001:01:000 T00 Note On         : ch 01"));

    // An event of a hidden track is drawn on the dimmed background.
    const QModelIndex line = events->list()->model()->index(late, 0);
    EXPECT_FALSE(line.data(Qt::BackgroundRole).isValid());
    doc.song.tracks[1]->flags &= static_cast<std::uint16_t>(~TrackShown);
    const Rgb dimmed = settings().colorDimmed;
    EXPECT_EQ(line.data(Qt::BackgroundRole).value<QColor>(),
              QColor(dimmed.red, dimmed.green, dimmed.blue));
    events->resize(events->width(), 20);
    EXPECT_GE(events->height(), CMonEvents::kLowestHeight);
}

TEST(Events, TheEventJustReachedIsTheTopLineAndTheOnlyOneSelected) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(kKaraoke));
    auto* events = openWindow<CMonEvents>(program, kMonitorEvents);
    ASSERT_NE(events, nullptr);
    const MidiSong& song = frame.document().song;
    ASSERT_EQ(events->lineCount(), song.mergedEvents.count());
    EXPECT_EQ(events->topLine(), 0);
    int reached = 0;
    QObject::connect(&frame.hub(), &TransportHub::positionReached,
                     [&](const PositionReport& report) { reached = report.endEvent; });
    program.app().transportCommands().startPlaying(false, false);
    int previous = -1;
    int moves = 0;
    for (int step = 0; step < 60; ++step) {
        program.play(100);
        QApplication::processEvents();
        if (reached == 0) {
            continue;
        }
        const QModelIndexList selected = events->list()->selectionModel()->selectedIndexes();
        ASSERT_EQ(selected.size(), 1) << step;
        ASSERT_EQ(selected.front().row(), reached - 1) << step;
        ASSERT_EQ(events->topLine(), reached - 1) << step;
        ASSERT_GE(reached - 1, previous);
        moves += reached - 1 > previous;
        previous = reached - 1;
    }
    program.app().transportCommands().stopCommand();
    EXPECT_GE(moves, 5);
    EXPECT_EQ(events->topLine(), 0) << "a stop sends the list back to the top";
}

} // namespace
} // namespace reedtab

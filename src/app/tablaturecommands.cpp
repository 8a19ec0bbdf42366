#include "app/tablaturecommands.h"

#include "app/mainframe.h"
#include "dialogs/tablaturedlg.h"
#include "document/reedtabdoc.h"
#include "formats/musicxml.h"
#include "formats/tabtext.h"
#include "harmonica/notation.h"
#include "settings/settings.h"
#include "tools/toolwindows.h"
#include "ui/commands.h"
#include "ui/commandtable.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>

#include <fstream>

namespace reedtab {

namespace {

// A tablature text is a few kilobytes; the cap keeps a wrong pick from filling memory.
constexpr std::streamsize kMaxTextBytes = 16 << 20;

bool tablatureMode() {
    return settings().tabMode == kDiatonicTab || settings().tabMode == kChromaticTab;
}

// The harmonica of the tablature mode; the diatonic one while notes are named.
HarmonicaLayout& currentHarmonica(CMainFrame& frame) {
    return settings().tabMode == kChromaticTab ? static_cast<HarmonicaLayout&>(frame.chromatic())
                                               : frame.diatonic();
}

// The song's file with another extension, offered as the file to save.
std::string suggestedPath(CMainFrame& frame, const char* extension) {
    const QFileInfo song(QString::fromStdString(frame.document().pathName()));
    if (frame.document().pathName().empty()) {
        return {};
    }
    return song.dir().filePath(song.completeBaseName() + QLatin1String(extension)).toStdString();
}

std::string askPath(CMainFrame& frame, const std::string& title, const std::string& suggested,
                    const char* filter, bool open) {
    const auto& sink = open ? frame.openPathSink : frame.savePathSink;
    if (sink) {
        return sink(title, suggested);
    }
    const QString caption = QString::fromStdString(title);
    const QString start = QString::fromStdString(suggested);
    const QString path =
        open ? QFileDialog::getOpenFileName(&frame, caption, start, QString::fromLatin1(filter))
             : QFileDialog::getSaveFileName(&frame, caption, start, QString::fromLatin1(filter));
    return path.toStdString();
}

bool writeText(CMainFrame& frame, const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        frame.messageBox("Cannot write the file " + path, "Reedtab Midi", MessageIcon::Error);
        return false;
    }
    return true;
}

void exportTabText(CMainFrame& frame) {
    CReedtabDoc& doc = frame.document();
    CTabTextExportDlg dialog(doc.song, currentHarmonica(frame), doc.markBegin, doc.markEnd, &frame);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const std::string path = askPath(frame, "Export Tablature Text", suggestedPath(frame, ".txt"),
                                     "Text Files (*.txt)", false);
    if (!path.empty()) {
        writeText(frame, path, dialog.text());
    }
}

void exportMusicXml(CMainFrame& frame) {
    const std::string path = askPath(frame, "Export MusicXML", suggestedPath(frame, ".musicxml"),
                                     "MusicXML Files (*.musicxml *.xml)", false);
    if (path.empty()) {
        return;
    }
    MusicXmlOptions options;
    // Under the notes the tablature the staff shows.
    options.tablature = tablatureMode() ? &currentHarmonica(frame) : nullptr;
    writeText(frame, path, writeMusicXml(frame.document().song, options));
}

// Shows the song's tablature on `layout`'s harmonica, as the staff, the selector and the
// harmonica windows do for any layout change.
void showHarmonica(CMainFrame& frame, const HarmonicaLayout& layout) {
    const int mode = &layout == &frame.chromatic() ? kChromaticTab : kDiatonicTab;
    if (QComboBox* selector = frame.tabTypeSelector()) {
        selector->setCurrentIndex(mode);
    }
    frame.tabTypeSelected(mode);
    frame.toolWindows().refreshAll(0);
}

void importTabText(CMainFrame& frame) {
    CReedtabDoc& doc = frame.document();
    const std::string path = askPath(frame, "Import Tablature Text", {},
                                     "Text Files (*.txt *.tab);;All Files (*)", true);
    if (path.empty()) {
        return;
    }
    const std::string name = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(kMaxTextBytes), '\0');
    in.read(text.data(), kMaxTextBytes);
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (!in.is_open() || in.bad()) {
        frame.messageBox("Cannot read the file " + name, "Import Tablature Text",
                         MessageIcon::Exclamation);
        return;
    }
    // The harp the text was written for when its header names one, else the one shown.
    const TabHeader header = readTabHeader(text);
    HarmonicaLayout* shown = &currentHarmonica(frame);
    DiatonicLayout namedDiatonic;
    ChromaticLayout namedChromatic;
    HarmonicaLayout* named = shown;
    if (selectHarp(namedDiatonic, header.harp)) {
        named = &namedDiatonic;
        shown = &frame.diatonic();
    } else if (selectHarp(namedChromatic, header.harp)) {
        named = &namedChromatic;
        shown = &frame.chromatic();
    }
    TabReadError error;
    const auto chords = readTabText(text, *named, {}, error);
    if (!chords) {
        frame.messageBox(name + ": " + error.text(), "Import Tablature Text",
                         MessageIcon::Exclamation);
        return;
    }
    if (!doc.askToSave()) {
        return;
    }
    if (named != shown) {
        shown->build(named->key(), named->tuningIndex());
    }
    TabSongOptions options;
    options.title = header.title.empty()
                        ? QFileInfo(QString::fromStdString(path)).completeBaseName().toStdString()
                        : header.title;
    doc.newDocumentFrom([&](MidiSong& song) { tabSong(*chords, *shown, options, song); });
    showHarmonica(frame, *shown);
    frame.refreshFrame();
}

void optimizeFingerings(CMainFrame& frame) {
    CReedtabDoc& doc = frame.document();
    const HarmonicaLayout& layout = currentHarmonica(frame);
    COptimizeFingeringsDlg dialog(doc.song, layout, doc.markBegin >= 0 || doc.markEnd >= 0, &frame);
    if (dialog.exec() == QDialog::Accepted) {
        doc.optimizeFingeringsEdit(dialog.track(), layout, dialog.options());
    }
}

} // namespace

void registerTablatureCommands(CMainFrame& frame) {
    CommandTable& table = frame.commands();
    const auto ready = [&frame] {
        return frame.document().song.trackCount() > 0 && !frame.player().isPlaying();
    };
    table.add(
        ID_FILE_EXPORT_TAB_TEXT, [&frame] { exportTabText(frame); }, ready);
    table.add(
        ID_FILE_EXPORT_MUSICXML, [&frame] { exportMusicXml(frame); }, ready);
    table.add(
        ID_FILE_IMPORT_TAB_TEXT, [&frame] { importTabText(frame); },
        [&frame] { return !frame.player().isPlaying(); });
    table.add(
        ID_OPTIMIZE_FINGERINGS, [&frame] { optimizeFingerings(frame); },
        [ready] { return ready() && tablatureMode(); });
}

} // namespace reedtab

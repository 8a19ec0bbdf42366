#pragma once

// The program's command line: an optional file to open, or the screenshot mode that renders
// the main window with a song to a PNG and exits (works on the offscreen platform).

#include <QSize>
#include <QString>
#include <QStringList>

namespace reedtab {

class CReedtabApp;

inline constexpr const char* kUsage =
    "usage: reedtab [--soundfont SF2] [FILE]\n"
    "       reedtab --version | --help\n"
    "       reedtab --screenshot OUT.png [--size WxH] [--at TICK] [--window NAME]...\n"
    "                [--recording AUDIO] [FILE]\n"
    "         NAME: diatonic, chromatic, piano, mixer, lyrics, events, listen or manual;\n"
    "         each is written to OUT-NAME.png. --recording: the listen window judges AUDIO\n"
    "         (which starts with the song) up to --at, and the staff shows the judged notes\n";

enum class CommandLineMode { Run, Screenshot, Invalid };

struct ScreenshotRequest {
    QString file;          ///< the song to open ("" for none)
    QString output;        ///< the PNG to write (screenshot mode)
    QSize size{1280, 720}; ///< the main window's size in pixels
    int tick = -1;         ///< the play position to show, -1 for the start
    QString soundFont;     ///< the built-in synthesizer's SoundFont for this run ("" as set)
    QStringList windows;   ///< tool windows to open and write beside the main window
    QString recording;     ///< the player's recording the listen window judges ("" none)
};

/// Where the screenshot of tool window `name` goes: "OUT-NAME.png" beside `output`.
QString toolWindowShotPath(const QString& output, const QString& name);

/// Reads the arguments (without the program name). Invalid sets `error`.
CommandLineMode parseCommandLine(const QStringList& arguments, ScreenshotRequest& request,
                                 QString& error);

/// Shows the main window of the started `app` at the requested size, opens `request.file`, moves
/// the play position, renders the main window and writes the PNG; each requested tool window
/// opens with the notes sounding at the position held and goes to "OUT-NAME.png". False with
/// `error` when the song did not read or the PNG was not written.
bool takeScreenshot(CReedtabApp& app, const ScreenshotRequest& request, QString& error);

} // namespace reedtab

#pragma once

// The commands of the shareable tablature: File > "Export Tablature Text...", "Export
// MusicXML...", "Import Tablature Text..." and Tools > "Optimize Fingerings...". They live
// here, registered by one call, so that they can move with the frame's other commands.

namespace reedtab {

class CMainFrame;

/// Registers the four commands with the frame's command table.
void registerTablatureCommands(CMainFrame& frame);

} // namespace reedtab

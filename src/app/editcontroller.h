#pragma once

// The edit commands and edit mode: Undo, Redo, Cut, Copy, Paste, Delete, Crop, Insert Silence,
// the marks, and the edit toolbar, which is open exactly while edit mode is on. It registers
// its commands in the command table and keeps their changing texts (Undo, Redo and the edit
// mode's own) up to date whenever the table updates its states.
//
// Threads: the user-interface thread.

#include <QObject>
#include <QPointer>

#include <vector>

namespace reedtab {

class CEditToolbar;
class CMainFrame;
class CReedtabDoc;
class CReedtabView;
class CommandTable;
class MidiEvent;
class SettingsStore;
class Transport;
struct DocumentNotice;

class EditController : public QObject {
    Q_OBJECT
public:
    /// The toolbar and the entry dialogs open over `frame`, which also shows where the edit
    /// cursor went.
    EditController(CReedtabDoc& doc, CReedtabView& view, Transport& transport, SettingsStore& store,
                   CMainFrame& frame);
    /// Ends edit mode first: the toolbar stores its settings while the document lives.
    ~EditController() override;

    void registerCommands(CommandTable& table);

    /// Opens the edit toolbar (edit mode on) or closes it (edit mode off).
    void editModeCommand();
    /// The edit toolbar while edit mode is on, else null.
    CEditToolbar* editToolbar() const;
    /// Insert Silence: the "Silence Length" entry, then the silence at the edit cursor.
    void insertSilenceCommand();

private:
    void markCommand(bool beginning);
    // Notes selected in edit mode are what Cut, Copy and Delete take; else the marked range.
    std::vector<MidiEvent*> selectedNotes() const;
    // Puts the document's clip on the system clipboard as a MIDI file.
    void offerClip();
    void editModeEnded();
    void refreshTexts();
    void onDocumentNotice(const DocumentNotice& notice);

    CReedtabDoc& doc_;
    CReedtabView& view_;
    Transport& transport_;
    SettingsStore& store_;
    CMainFrame& frame_;
    CommandTable* table_ = nullptr;
    QPointer<CEditToolbar> toolbar_;
    int documentListener_ = 0;
};

} // namespace reedtab

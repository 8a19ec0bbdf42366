#include "app/editcontroller.h"

#include "app/mainframe.h"
#include "dialogs/edittoolbar.h"
#include "dialogs/posentry.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"
#include "settings/settings.h"
#include "transport/transport.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "view/reedtabview.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMimeData>

#include <algorithm>
#include <utility>

namespace reedtab {

EditController::EditController(CReedtabDoc& doc, CReedtabView& view, Transport& transport,
                               SettingsStore& store, CMainFrame& frame)
    : doc_(doc), view_(view), transport_(transport), store_(store), frame_(frame) {
    documentListener_ =
        doc_.subscribe([this](const DocumentNotice& notice) { onDocumentNotice(notice); });
}

EditController::~EditController() {
    if (toolbar_) {
        toolbar_->disconnect(this);
        delete toolbar_.data();
    }
    doc_.unsubscribe(documentListener_);
}

CEditToolbar* EditController::editToolbar() const {
    return toolbar_;
}

std::vector<MidiEvent*> EditController::selectedNotes() const {
    return settings().editMode ? view_.selectedNotes() : std::vector<MidiEvent*>{};
}

void EditController::registerCommands(CommandTable& table) {
    table_ = &table;
    const auto playing = [this] { return transport_.isPlaying(); };
    const auto hasTracks = [this] { return doc_.song.trackCount() > 0; };
    const auto marked = [this] { return doc_.markBegin >= 0 || doc_.markEnd >= 0; };

    table.add(
        ID_EDIT_UNDO, [this] { doc_.undo(); }, [this] { return doc_.undoEnabled(); });
    table.add(
        ID_EDIT_REDO, [this] { doc_.redo(); }, [this] { return doc_.redoEnabled(); });
    table.add(
        ID_EDIT_CUT,
        [this] {
            doc_.cut(selectedNotes());
            offerClip();
        },
        [=, this] { return hasTracks() && !playing() && (marked() || !selectedNotes().empty()); });
    table.add(
        ID_EDIT_COPY,
        [this] {
            if (doc_.copySelection(selectedNotes()) == 0) {
                offerClip();
            }
        },
        [this] { return doc_.canCopy(!selectedNotes().empty()); });
    table.add(
        ID_EDIT_PASTE, [this] { doc_.paste(transport_.playTick()); },
        [=, this] { return doc_.canPaste() && !playing(); });
    table.add(
        ID_EDIT_DELETE,
        [this] {
            const std::vector<MidiEvent*> notes = selectedNotes();
            doc_.deleteSelection(notes.empty() ? nullptr : notes.front());
        },
        [=, this] { return (hasTracks() && marked()) || !selectedNotes().empty(); });
    table.add(
        ID_EDIT_CROP, [this] { doc_.crop(); }, [=] { return hasTracks() && marked(); });
    table.add(
        ID_EDIT_INSERT_SILENCE, [this] { insertSilenceCommand(); },
        [=, this] { return hasTracks() && toolbar_ && !playing(); });
    if (QAction* editMode = table.add(
            ID_EDIT_MODE, [this] { editModeCommand(); }, [=] { return !playing(); },
            [this] { return toolbar_ != nullptr; })) {
        // Alt+W also closes edit mode from the toolbar's own window.
        editMode->setShortcutContext(Qt::ApplicationShortcut);
    }
    table.add(
        ID_EDIT_BEGIN_MARK, [this] { markCommand(true); }, hasTracks);
    table.add(
        ID_EDIT_END_MARK, [this] { markCommand(false); }, hasTracks);

    // The second keys the edit commands have always had.
    const std::pair<int, QKeySequence> extras[] = {
        {ID_EDIT_COPY, QKeySequence(Qt::CTRL | Qt::Key_Insert)},
        {ID_EDIT_PASTE, QKeySequence(Qt::SHIFT | Qt::Key_Insert)},
        {ID_EDIT_CUT, QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
        {ID_EDIT_UNDO, QKeySequence(Qt::ALT | Qt::Key_Backspace)},
        {ID_EDIT_REDO, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
    };
    for (const auto& [id, keys] : extras) {
        if (QAction* command = table.action(id)) {
            command->setShortcuts({command->shortcut(), keys});
        }
    }
    connect(&table, &CommandTable::statesUpdated, this, &EditController::refreshTexts);
}

void EditController::refreshTexts() {
    if (QAction* undo = table_->action(ID_EDIT_UNDO)) {
        undo->setText(QString::fromStdString(doc_.undoMenuText()));
    }
    if (QAction* redo = table_->action(ID_EDIT_REDO)) {
        redo->setText(QString::fromStdString(doc_.redoMenuText()));
    }
    if (QAction* editMode = table_->action(ID_EDIT_MODE)) {
        const std::string_view text = findCommand(ID_EDIT_MODE)->text;
        editMode->setText(
            toolbar_ ? QStringLiteral("Quit Edit Mode\tAlt+W")
                     : QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    }
}

void EditController::offerClip() {
    const std::string& clip = doc_.clip();
    if (clip.empty()) {
        return;
    }
    // Other programs get the copied events as a MIDI file.
    auto* data = new QMimeData;
    data->setData(QStringLiteral("audio/midi"),
                  QByteArray(clip.data(), static_cast<qsizetype>(clip.size())));
    QGuiApplication::clipboard()->setMimeData(data);
}

void EditController::markCommand(bool beginning) {
    const MidiSong& song = doc_.song;
    if (song.trackCount() == 0) {
        return;
    }
    CPosEntry entry(&frame_);
    entry.setWindowTitle(beginning ? QStringLiteral("Mark Beginning")
                                   : QStringLiteral("Mark Ending"));
    entry.setRange(std::max(1, static_cast<int>(song.barTable.size())), song.division);
    entry.setPositionOf(song, transport_.playTick());
    if (entry.exec() != QDialog::Accepted) {
        return;
    }
    if (beginning) {
        doc_.markBeginning(entry.bar(), entry.beat(), entry.tick());
    } else {
        doc_.markEnding(entry.bar(), entry.beat(), entry.tick());
    }
}

void EditController::editModeCommand() {
    if (toolbar_) {
        toolbar_->close();
        return;
    }
    auto* toolbar = new CEditToolbar(doc_, frame_, store_, &frame_);
    toolbar_ = toolbar;
    connect(toolbar, &CEditToolbar::closed, this, &EditController::editModeEnded);
    connect(toolbar, &CEditToolbar::cursorMoved, &frame_, &CMainFrame::followEditCursor);
    if (QAction* command = table_->action(ID_EDIT_MODE)) {
        command->setIcon(QIcon(QStringLiteral(":/app/icons/editmodeon.svg")));
    }
    toolbar->show();
    view_.repaintView();
    frame_.updateCommandStates();
}

void EditController::editModeEnded() {
    toolbar_ = nullptr;
    if (QAction* command = table_->action(ID_EDIT_MODE)) {
        command->setIcon(QIcon(QStringLiteral(":/app/icons/editmode.svg")));
    }
    doc_.notify({SelectionChanged, nullptr});
    view_.repaintView();
    frame_.updateCommandStates();
}

void EditController::insertSilenceCommand() {
    CPosEntry entry(&frame_);
    entry.setWindowTitle(QStringLiteral("Silence Length"));
    entry.setRangeCheck(false);
    entry.setPosition(1, 0, 0);
    if (entry.exec() == QDialog::Accepted) {
        doc_.insertSilence(entry.bar(), entry.beat(), entry.tick());
    }
}

void EditController::onDocumentNotice(const DocumentNotice& notice) {
    if (notice.has(SongReplaced) && toolbar_) {
        toolbar_->close();
    }
}

} // namespace reedtab

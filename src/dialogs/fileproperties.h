#pragma once

// "MIDI File Properties": the song's time signatures (listed only) and its tempo changes
// (edit, add, delete). Changes reach the song at once; the whole dialog is one undo step, and
// Cancel changes nothing.

#include "dialogs/internal/propertydialog.h"

class QComboBox;
class QPushButton;

namespace reedtab {

class TempoEvent;

class CFileProperties : public CPropertyDialog {
    Q_OBJECT
public:
    /// Messages and questions go to `ui`.
    CFileProperties(CReedtabDoc& doc, DocumentUi& ui, QWidget* parent = nullptr);

    /// Set once a tempo was changed, added or deleted.
    bool tempoChanged() const { return changed(); }

    QComboBox* timeSignatureList() const { return signatures_; }
    QComboBox* tempoList() const { return tempos_; }
    QPushButton* editButton() const { return edit_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* deleteButton() const { return remove_; }

private:
    void fillSignatures();
    void fillTempos(bool keepSelection);
    TempoEvent* selected() const;
    void editTempo();
    void addTempo();
    void deleteTempo();

    QComboBox* signatures_ = nullptr;
    QComboBox* tempos_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
};

} // namespace reedtab

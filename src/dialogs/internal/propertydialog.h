#pragma once

// The base of the dialogs that edit the song as the user goes, so that every list shows the
// song as it now is, yet count as one edit: one EditScope is open from the dialog's start to
// its end. Close keeps everything as one undo step; Cancel and Escape put the song back as it
// was. The window's close box says neither, so after a change it asks whether to keep it.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>

namespace reedtab {

class CReedtabDoc;
class DocumentUi;
class EditScope;

class CPropertyDialog : public QDialog {
    Q_OBJECT
public:
    ~CPropertyDialog() override;

    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;

    /// `undoType` is the step Close records when anything changed.
    CPropertyDialog(CReedtabDoc& doc, DocumentUi& ui, int undoType, QWidget* parent);

    /// Changes made in the fields that reach the song only with Close.
    virtual bool pendingChanges() const { return false; }
    /// A change reached the song.
    void markChanged() { changed_ = true; }
    bool changed() const { return changed_; }
    /// The song's bar count for the position entries (at least 1).
    int barCount() const;
    /// A tick of the song as bar:beat:tick.
    QString positionText(int32_t tick) const;

    CReedtabDoc& doc_;
    DocumentUi& ui_;

private:
    void finish(bool keep);

    std::unique_ptr<EditScope> scope_;
    int undoType_;
    bool changed_ = false;
};

} // namespace reedtab

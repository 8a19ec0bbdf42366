#pragma once

// What the document needs from the windows around it. The main frame implements this with
// message boxes, the status bar and the view; tests and the command line script it.
//
// Threads: every call comes from the user-interface thread.

#include <string>

namespace reedtab {

class MidiEvent;

/// The icon of a message box.
enum class MessageIcon { None, Exclamation, Warning, Information, Question };

/// The answer to a question box.
enum class Answer { Yes, No, Cancel };

class DocumentUi {
public:
    virtual ~DocumentUi() = default;

    /// A modal message box with `text`, `caption` and `icon` and an OK button.
    virtual void messageBox(const std::string& text, const std::string& caption,
                            MessageIcon icon) = 0;
    /// A modal Yes/No question; true for Yes.
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;
    /// A modal Yes/No/Cancel question.
    virtual Answer askYesNoCancel(const std::string& text, const std::string& caption) = 0;
    /// The exclamation beep of a refused command.
    virtual void beep() = 0;
    /// Asks where to save a document that has no file yet ("" when the user cancels).
    virtual std::string askSavePath(const std::string& title) = 0;

    /// Shows the progress bar over the status bar's fifth pane (range 0..100).
    virtual void beginProgress() = 0;
    /// Moves the progress bar to `percent` (0..100).
    virtual void setProgress(int percent) = 0;
    /// Removes the progress bar and gives the focus back to the main frame.
    virtual void endProgress() = 0;
    /// Shows or ends the wait cursor.
    virtual void setWaitCursor(bool on) = 0;
    /// Text of the status bar's fifth pane (index 4); "" empties it.
    virtual void setStatusText(const std::string& text) = 0;

    /// The document's modified flag changed.
    virtual void modifiedChanged(bool modified) = 0;
    /// A new song was loaded (the frame resets its tool windows).
    virtual void songLoaded() = 0;
    /// Closes the edit toolbar when it is open (edit mode ends).
    virtual void closeEditToolbar() = 0;
    /// Refreshes the main frame's controls and track lists.
    virtual void refreshFrame() = 0;
    /// Refreshes only the main frame's track lists (and the mixer).
    virtual void refreshTrackLists() = 0;
    /// Calls `refresh` on every open tool window.
    virtual void refreshToolWindows() = 0;

    /// Repaints the view.
    virtual void repaintView() = 0;
    /// Re-runs the view's note analysis (`isNote` of every event).
    virtual void refreshNoteFlags() = 0;
    /// The view forgets its note selection and every selection frame.
    virtual void dropNoteSelection() = 0;
    /// The view removes the selection frame of `event` (the event is about to be deleted).
    virtual void removeSelectionFrame(const MidiEvent* event) = 0;
    /// The view's selection frames follow notes that moved.
    virtual void updateSelectionFrames() = 0;
    /// Sets the view's horizontal scroll range, in quarter notes.
    virtual void setScrollRange(int quarters) = 0;
    /// Scrolls the view so that the edit cursor shows.
    virtual void scrollToCursor() = 0;
};

/// A user interface that shows nothing and answers every question with `answer`: for the
/// command line and as a base for tests that script only a few calls.
class QuietDocumentUi : public DocumentUi {
public:
    explicit QuietDocumentUi(Answer answer = Answer::Yes) : answer_(answer) {}

    void messageBox(const std::string&, const std::string&, MessageIcon) override {}
    bool askYesNo(const std::string&, const std::string&) override {
        return answer_ == Answer::Yes;
    }
    Answer askYesNoCancel(const std::string&, const std::string&) override { return answer_; }
    void beep() override {}
    std::string askSavePath(const std::string&) override { return {}; }
    void beginProgress() override {}
    void setProgress(int) override {}
    void endProgress() override {}
    void setWaitCursor(bool) override {}
    void setStatusText(const std::string&) override {}
    void modifiedChanged(bool) override {}
    void songLoaded() override {}
    void closeEditToolbar() override {}
    void refreshFrame() override {}
    void refreshTrackLists() override {}
    void refreshToolWindows() override {}
    void repaintView() override {}
    void refreshNoteFlags() override {}
    void dropNoteSelection() override {}
    void removeSelectionFrame(const MidiEvent*) override {}
    void updateSelectionFrames() override {}
    void setScrollRange(int) override {}
    void scrollToCursor() override {}

private:
    Answer answer_;
};

} // namespace reedtab

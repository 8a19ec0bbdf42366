#pragma once

// What the document asks of the user: messages, questions, progress and the status text. The
// main frame implements this with message boxes and the status bar; tests and the command line
// script it. What changed in the song reaches the windows as notices (documentnotice.h).
//
// Threads: every call comes from the user-interface thread.

#include <string>

namespace reedtab {

/// The icon of a message box.
enum class MessageIcon { None, Exclamation, Warning, Information, Question, Error };

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

private:
    Answer answer_;
};

} // namespace reedtab

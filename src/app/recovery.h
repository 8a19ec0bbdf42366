#pragma once

// Keeps the open song's recovery file: written every `autosaveSeconds` while the song has
// unsaved changes, removed as soon as it has none (saved, discarded, another song opened) and
// when the program ends cleanly. At start-up it offers the songs that programs which ended
// without saving left behind.
//
// Threads: the user-interface thread.

#include "recovery/recoverystore.h"

#include <QObject>
#include <QTimer>

#include <string>

namespace reedtab {

class CMainFrame;

class CRecovery : public QObject {
    Q_OBJECT
public:
    /// Files go to `folder`; `seconds` between writes, 0 for none.
    CRecovery(CMainFrame& frame, const std::string& folder, int seconds);
    ~CRecovery() override;

    /// Asks, newest first, "Restore unsaved changes to NAME from TIME?" about each song left by
    /// a program that is gone: Yes opens it modified (Save writes to its file) and asks no
    /// more, No removes it. True when a song was restored.
    bool offerRecovered();
    /// Writes the recovery file now when the song has unsaved changes (the timer's work).
    /// True when a file was written.
    bool autosave();

    const RecoveryStore& store() const { return store_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void modifiedChanged(bool modified);
    bool askRestore(const RecoveredSong& song);

    CMainFrame& frame_;
    RecoveryStore store_;
    QTimer timer_;
};

} // namespace reedtab

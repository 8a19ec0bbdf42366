#pragma once

// The program's commands, each registered once by the component that owns it: its id, its
// texts (from the command list, commands.h), its handler and its enabled and checked states.
// Menus and toolbars are built from the actions the table makes; `updateStates` sets every
// action's enabled and checked state from the predicates.
//
// Threads: the user-interface thread only.

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <vector>

class QAction;
class QKeySequence;

namespace reedtab {

class CommandTable : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void()>;
    using Predicate = std::function<bool()>;

    /// The actions are children of `actionParent`, whose window their shortcuts serve.
    explicit CommandTable(QObject* actionParent);
    ~CommandTable() override;

    /// Registers command `id` of the command list with its handler; `enabled` and `checked`
    /// may be empty (always enabled, never checked). A second registration of an id, or an id
    /// the list does not know, is a programming error: it is refused (null) and counted in
    /// `registrationFaults`.
    QAction* add(int id, Handler handler, Predicate enabled = {}, Predicate checked = {});
    /// The same for a command whose texts are given here (the toolbar-only and zoom commands).
    QAction* add(int id, const QString& text, const QString& prompt, bool checkable,
                 Handler handler, Predicate enabled = {}, Predicate checked = {});
    /// A command whose window or dialog the program does not have yet: shown, always
    /// disabled, and listed by `unavailable`.
    QAction* addUnavailable(int id);

    /// The action of `id`, or null when it is not registered.
    QAction* action(int id) const;
    /// Runs the handler of `id` when the command is registered, available and enabled; false
    /// otherwise.
    bool run(int id);
    /// Sets every action's enabled and checked state from its predicates.
    void updateStates();

    /// Every registered id, in registration order.
    std::vector<int> ids() const;
    /// The ids registered as unavailable.
    std::vector<int> unavailable() const;
    /// Refused registrations (duplicates, unknown ids); a finished program has none.
    int registrationFaults() const { return faults_; }

    /// The key sequence written after the tab of a menu text ("" when there is none or it is
    /// a bracketed hint such as "[space]").
    static QKeySequence shortcutOf(const QString& text);
    /// A tool tip from a menu text: no accelerator marks, dots or shortcut.
    static QString toolTipOf(const QString& text);

signals:
    /// A command ran through its action, a shortcut or `run`.
    void commandRan(int id);
    /// `updateStates` set every state: the owners of commands whose texts change set them now.
    void statesUpdated();

private:
    struct Entry {
        QAction* action = nullptr;
        Handler handler;
        Predicate enabled;
        Predicate checked;
    };
    QAction* makeAction(int id, const QString& text, const QString& prompt, bool checkable);

    QObject* parent_;
    std::map<int, Entry> entries_;
    std::vector<int> order_;
    int faults_ = 0;
};

} // namespace reedtab

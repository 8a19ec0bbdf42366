#include "ui/commandtable.h"

#include "ui/commands.h"

#include <QAction>
#include <QKeySequence>

#include <algorithm>

namespace reedtab {

namespace {

QString fromView(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CommandTable::CommandTable(QObject* actionParent) : QObject(actionParent), parent_(actionParent) {}

CommandTable::~CommandTable() = default;

QKeySequence CommandTable::shortcutOf(const QString& text) {
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab < 0)
        return {};
    QString keys = text.mid(tab + 1);
    if (keys.startsWith(QLatin1Char('[')))
        return {};
    keys.replace(QStringLiteral("DEL"), QStringLiteral("Del"));
    return QKeySequence::fromString(keys, QKeySequence::PortableText);
}

QString CommandTable::toolTipOf(const QString& text) {
    QString tip = text.section(QLatin1Char('\t'), 0, 0);
    tip.remove(QLatin1Char('&'));
    tip.remove(QStringLiteral("..."));
    return tip.trimmed();
}

QAction* CommandTable::makeAction(int id, const QString& text, const QString& prompt,
                                  bool checkable) {
    auto* action = new QAction(text, parent_);
    action->setStatusTip(prompt);
    // Context help (Shift+F1) explains a command with its prompt.
    action->setWhatsThis(prompt);
    action->setToolTip(toolTipOf(text));
    action->setShortcut(shortcutOf(text));
    action->setCheckable(checkable);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] {
        const auto found = entries_.find(id);
        if (found != entries_.end() && found->second.handler) {
            found->second.handler();
            emit commandRan(id);
        }
    });
    return action;
}

QAction* CommandTable::add(int id, Handler handler, Predicate enabled, Predicate checked) {
    const CommandInfo* info = findCommand(id);
    if (!info) {
        ++faults_;
        return nullptr;
    }
    return add(id, fromView(info->text), fromView(info->prompt), info->checkable,
               std::move(handler), std::move(enabled), std::move(checked));
}

QAction* CommandTable::add(int id, const QString& text, const QString& prompt, bool checkable,
                           Handler handler, Predicate enabled, Predicate checked) {
    if (entries_.count(id) != 0 || !handler) {
        ++faults_;
        return nullptr;
    }
    QAction* action = makeAction(id, text, prompt, checkable);
    entries_[id] = Entry{action, std::move(handler), std::move(enabled), std::move(checked)};
    order_.push_back(id);
    return action;
}

QAction* CommandTable::addUnavailable(int id) {
    const CommandInfo* info = findCommand(id);
    if (!info || entries_.count(id) != 0) {
        ++faults_;
        return nullptr;
    }
    QAction* action = makeAction(id, fromView(info->text), fromView(info->prompt), info->checkable);
    action->setEnabled(false);
    entries_[id] = Entry{action, {}, [] { return false; }, {}};
    order_.push_back(id);
    return action;
}

QAction* CommandTable::action(int id) const {
    const auto found = entries_.find(id);
    return found == entries_.end() ? nullptr : found->second.action;
}

bool CommandTable::run(int id) {
    const auto found = entries_.find(id);
    if (found == entries_.end() || !found->second.handler)
        return false;
    if (found->second.enabled && !found->second.enabled())
        return false;
    found->second.handler();
    emit commandRan(id);
    return true;
}

void CommandTable::updateStates() {
    for (auto& [id, entry] : entries_) {
        entry.action->setEnabled(entry.enabled ? entry.enabled() : true);
        if (entry.action->isCheckable())
            entry.action->setChecked(entry.checked ? entry.checked() : false);
    }
    emit statesUpdated();
}

std::vector<int> CommandTable::ids() const {
    return order_;
}

std::vector<int> CommandTable::unavailable() const {
    std::vector<int> result;
    for (int id : order_) {
        if (!entries_.at(id).handler)
            result.push_back(id);
    }
    return result;
}

} // namespace reedtab

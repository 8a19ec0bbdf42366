#pragma once

// Driving modal dialogs from a test: the next dialog that opens is filled in and closed from
// the event loop its exec() runs, as a user would.

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace reedtab::testing {

/// The lines of a list, top to bottom.
inline QStringList lines(const QComboBox* list) {
    QStringList result;
    for (int i = 0; i < list->count(); ++i)
        result << list->itemText(i);
    return result;
}

/// When a `Dialog` opens next, `fill` runs on it and then it is accepted (OK) or rejected.
/// `seen` counts the dialogs it handled.
template <class Dialog>
void onNextDialog(std::function<void(Dialog&)> fill, bool accept = true, int* seen = nullptr) {
    QTimer::singleShot(0, [fill = std::move(fill), accept, seen] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << "the expected dialog did not open";
        if (seen)
            ++*seen;
        fill(*dialog);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
}

} // namespace reedtab::testing

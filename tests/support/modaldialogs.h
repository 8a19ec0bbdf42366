#pragma once

// Answering the modal dialogs a widget test opens: a dialog's exec() runs its own event loop,
// so the answer is given from a timer that looks for the dialog once it shows.

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

namespace reedtab::testing {

/// Runs `act` on the next modal dialog once it shows.
inline void whenDialogOpens(std::function<void(QDialog*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
}

} // namespace reedtab::testing

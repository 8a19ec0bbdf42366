#include "dialogs/titlewidth.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFontMetrics>

#include <algorithm>

namespace reedtab {

namespace {

constexpr char kFitterName[] = "reedtab-dialog-title-fitter";

// An icon and three buttons with their padding, in lines of the default font; openbox, xfwm
// and mutter all fit in it.
constexpr int kTitleBarButtonLines = 10;

class TitleFitter : public QObject {
public:
    explicit TitleFitter(QObject* parent) : QObject(parent) { setObjectName(kFitterName); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::Show || type == QEvent::WindowTitleChange) {
            auto* dialog = qobject_cast<QDialog*>(watched);
            // A dialog not yet shown has not taken its own size: widening it then would keep
            // it from ever doing so.
            if (dialog != nullptr && dialog->isWindow() && dialog->isVisible()) {
                widen(*dialog);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    // Before the dialog's own show handling, so that it is centred at its new width.
    static void widen(QDialog& dialog) {
        const int needed = titleBarWidth(dialog.windowTitle());
        if (dialog.width() >= needed) {
            return;
        }
        if (dialog.maximumWidth() < needed) {
            dialog.setMaximumWidth(needed);
        }
        dialog.setMinimumWidth(std::max(dialog.minimumWidth(), needed));
        dialog.resize(needed, dialog.height());
    }
};

} // namespace

int titleBarWidth(const QString& title) {
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(title) + kTitleBarButtonLines * metrics.height();
}

void fitDialogsToTheirTitles() {
    if (qApp == nullptr || qApp->findChild<QObject*>(kFitterName, Qt::FindDirectChildrenOnly)) {
        return;
    }
    qApp->installEventFilter(new TitleFitter(qApp));
}

} // namespace reedtab

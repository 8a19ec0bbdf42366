#include "app/focusstyle.h"

#include "view/songpainter.h"

#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

namespace reedtab {

FocusStyle::FocusStyle(QStyle* base) : QProxyStyle(base) {}

void FocusStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                    QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if ((control == CC_Slider || control == CC_ComboBox) && (option->state & State_HasFocus)) {
        paintFocusFrame(*painter, option->rect, option->palette);
    }
}

void useFocusStyle() {
    if (qobject_cast<FocusStyle*>(QApplication::style()) == nullptr) {
        QApplication::setStyle(
            new FocusStyle(QStyleFactory::create(QApplication::style()->name())));
    }
}

} // namespace reedtab

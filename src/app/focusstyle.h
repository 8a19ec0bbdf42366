#pragma once

// The program's widget style: the platform's own, with a frame on the sliders and drop-down
// lists that have the keyboard focus. The usual styles show none there, so after F6 the arrow
// keys changed the tempo with nothing to say which control had them.

#include <QProxyStyle>

namespace reedtab {

class FocusStyle : public QProxyStyle {
    Q_OBJECT
public:
    /// `base` is the style drawn underneath (owned); null for the platform's default.
    explicit FocusStyle(QStyle* base = nullptr);

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;
};

/// Puts a FocusStyle over the application's current style, once.
void useFocusStyle();

} // namespace reedtab

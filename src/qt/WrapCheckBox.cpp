#include "qt/WrapCheckBox.h"

#include "qt/WindowMetrics.h"

#include <QFontMetrics>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace snapsift {

void WrapCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const bool focused = option.state & QStyle::State_HasFocus;
    const QString caption = option.text;
    option.text.clear();
    option.state &= ~QStyle::State_HasFocus;
    QStyleOptionButton indicator = option;
    indicator.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);

    const QRect contents = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    const QFont fitted = FitFont(font(), contents, flags, caption);
    painter.setFont(fitted);
    painter.drawItemText(contents, flags, palette(), isEnabled(), caption, QPalette::WindowText);

    if (focused) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = QFontMetrics(fitted).boundingRect(contents, flags, caption).adjusted(-1, 0, 1, 0) &
                     rect();
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool WrapCheckBox::hitButton(const QPoint& pos) const { return rect().contains(pos); }

}  // namespace snapsift

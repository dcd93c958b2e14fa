// Font checks for the window tests: a control has its designed size and weight, or a label
// has a smaller size only where its text would not fit its box at the designed one.
#pragma once

#include <QFontMetrics>
#include <QLabel>
#include <QString>
#include <QWidget>

namespace snapsift::test {

inline bool TextFits(const QLabel& label, const QFont& font) {
    const int flags = static_cast<int>(label.alignment()) | (label.wordWrap() ? Qt::TextWordWrap : 0);
    const QRect box = label.contentsRect();
    const QRect needed = QFontMetrics(font).boundingRect(box, flags, label.text());
    return needed.width() <= box.width() && needed.height() <= box.height();
}

// "" when the font is right, else what is wrong with it.
inline QString FontFault(const QWidget& control, double points, bool bold) {
    const QFont font = control.font();
    if (font.bold() != bold) return QStringLiteral("weight");
    if (font.pointSizeF() == points) return {};
    const auto* label = qobject_cast<const QLabel*>(&control);
    if (!label || font.pointSizeF() > points || font.pointSizeF() < points * 0.7) {
        return QStringLiteral("size %1 instead of %2").arg(font.pointSizeF()).arg(points);
    }
    QFont designed = font;
    designed.setPointSizeF(points);
    if (TextFits(*label, designed)) return QStringLiteral("smaller though the designed size fits");
    return {};
}

}  // namespace snapsift::test

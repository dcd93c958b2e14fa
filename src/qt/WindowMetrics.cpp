#include "qt/WindowMetrics.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QStringList>
#include <QWidget>
#include <cmath>

namespace snapsift {

TwipsScale::TwipsScale(const QWidget& widget)
    : dpiX_(widget.logicalDpiX()), dpiY_(widget.logicalDpiY()) {}

int TwipsScale::X(int twips) const {
    return static_cast<int>(std::lround(twips * dpiX_ / kTwipsPerInch));
}

int TwipsScale::Y(int twips) const {
    return static_cast<int>(std::lround(twips * dpiY_ / kTwipsPerInch));
}

QRect TwipsScale::Rect(int left, int top, int width, int height) const {
    // Edges are rounded, not sizes, so that neighbouring controls never overlap or part.
    const int x = X(left);
    const int y = Y(top);
    return QRect(x, y, X(left + width) - x, Y(top + height) - y);
}

namespace {

// Nearest faces first: the metric-compatible ones, then the narrow and the regular free sans.
QString InstalledFamily(Face face) {
    static const QStringList sansSerif = {"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans",
                                          "Arial", "DejaVu Sans Condensed", "DejaVu Sans"};
    static const QStringList verdana = {"Verdana", "DejaVu Sans"};
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : face == Face::Verdana ? verdana : sansSerif) {
        if (installed.contains(family, Qt::CaseInsensitive)) return family;
    }
    return {};
}

}  // namespace

QFont DesignedFont(const FontStyle& style) {
    static const QString sansSerif = InstalledFamily(Face::SansSerif);
    static const QString verdana = InstalledFamily(Face::Verdana);
    QFont font;
    const QString& family = style.face == Face::Verdana ? verdana : sansSerif;
    if (!family.isEmpty()) font.setFamilies({family});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(style.centipoints / 100.0);
    font.setBold(style.bold);
    return font;
}

QFont FitFont(QFont font, const QRect& box, int flags, const QString& text) {
    const double designed = font.pointSizeF();
    for (double points = designed; points >= designed * 0.7; points -= 0.25) {
        font.setPointSizeF(points);
        const QRect needed = QFontMetrics(font).boundingRect(box, flags, text);
        if (needed.width() <= box.width() && needed.height() <= box.height()) return font;
    }
    font.setPointSizeF(designed);
    return font;
}

void FitLabelFont(QLabel& label) {
    const int flags = static_cast<int>(label.alignment()) | (label.wordWrap() ? Qt::TextWordWrap : 0);
    label.setFont(FitFont(label.font(), label.contentsRect(), flags, label.text()));
}

void SetTextColour(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget.setPalette(palette);
}

}  // namespace snapsift

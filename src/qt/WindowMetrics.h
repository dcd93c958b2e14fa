// Geometry, fonts and colours of the program's windows: twips turned into pixels at the
// screen's logical resolution, and the nearest installed faces for the designed fonts.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

#include "window/WindowDesign.h"

class QLabel;
class QWidget;

namespace snapsift {

// Twips to device-independent pixels at a widget's logical resolution (15 twips a pixel at 96 DPI).
class TwipsScale {
public:
    TwipsScale(double dpiX, double dpiY) : dpiX_(dpiX), dpiY_(dpiY) {}
    explicit TwipsScale(const QWidget& widget);

    int X(int twips) const;
    int Y(int twips) const;
    QRect Rect(int left, int top, int width, int height) const;
    QRect Rect(const TwipsRect& rect) const { return Rect(rect.left, rect.top, rect.width, rect.height); }
    double DpiX() const { return dpiX_; }
    double DpiY() const { return dpiY_; }

private:
    double dpiX_;
    double dpiY_;
};

// The designed face at the designed point size, or the nearest installed one.
QFont DesignedFont(const FontStyle& style);

// The font at its own size, or a little smaller when a stand-in face needs that for the text to
// fit the designed box (never below 70 % of the designed size). flags as for QPainter::drawText.
QFont FitFont(QFont font, const QRect& box, int flags, const QString& text);

// Gives a label the fitted form of its own font for its present text and box.
void FitLabelFont(QLabel& label);

// Sets the text colour of a label or other widget that draws with the window-text role.
void SetTextColour(QWidget& widget, const QColor& colour);

}  // namespace snapsift

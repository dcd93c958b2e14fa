// Geometry, fonts and colours of the program's windows: twips turned into pixels at the
// screen's logical resolution, and the nearest installed faces for the designed fonts.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

class QLabel;
class QWidget;

namespace snapsift {

inline constexpr int kTwipsPerInch = 1440;

// Twips to device-independent pixels at a widget's logical resolution (15 twips a pixel at 96 DPI).
class TwipsScale {
public:
    TwipsScale(double dpiX, double dpiY) : dpiX_(dpiX), dpiY_(dpiY) {}
    explicit TwipsScale(const QWidget& widget);

    int X(int twips) const;
    int Y(int twips) const;
    QRect Rect(int left, int top, int width, int height) const;
    double DpiX() const { return dpiX_; }
    double DpiY() const { return dpiY_; }

private:
    double dpiX_;
    double dpiY_;
};

// The designed faces: the classic dialog sans serif and the wide screen face of the titles.
enum class Face { SansSerif, Verdana };

// The designed face at the designed point size, or the nearest installed one.
QFont FormFont(Face face, double points, bool bold = false);

// The font at its own size, or a little smaller when a stand-in face needs that for the text to
// fit the designed box (never below 70 % of the designed size). flags as for QPainter::drawText.
QFont FitFont(QFont font, const QRect& box, int flags, const QString& text);

// Gives a label the fitted form of its own font for its present text and box.
void FitLabelFont(QLabel& label);

// Text colour 800000 (blue 128) of the designed labels.
QColor DarkBlue();

// Sets the text colour of a label or other widget that draws with the window-text role.
void SetTextColour(QWidget& widget, const QColor& colour);

}  // namespace snapsift

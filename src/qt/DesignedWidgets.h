// A window's widgets made from its design (window/WindowDesign.h): one widget a row, in the
// designed creation order, of the Qt class that the row's kind calls for, named for the program
// and for screen readers, placed, with its font, text, alignment, colour, first look and check
// state; then the designed tab order.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "window/WindowDesign.h"

namespace snapsift {

// What a screen reader calls the row at an index of the design (AccessibleName).
using AccessibleNames = std::function<std::string(int row)>;

// The widgets in the design's order, made as children of `client` (or of their frame). The rows
// designed dark blue take DarkBlueOr's colour against the client's palette, again whenever that
// palette changes (a dark or high-contrast scheme chosen while the program runs).
std::vector<QWidget*> MakeDesignedWidgets(const WindowDesign& design, QWidget& client,
                                          const AccessibleNames& accessibleName);

// The text colour of a dark blue row on a window of this palette.
QColor DarkBlueTextColour(const QPalette& palette);

// Gives a label the text and its designed font fitted afresh to it.
void SetDesignedLabelText(QWidget& label, const QString& text);

}  // namespace snapsift

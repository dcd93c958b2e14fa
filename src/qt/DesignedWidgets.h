// A window's widgets made from its design (window/WindowDesign.h): one widget a row, in the
// designed creation order, of the Qt class that the row's kind calls for, named, placed, with its
// font, text, alignment, colour, first look and check state; then the designed tab order.
#pragma once

#include <QWidget>
#include <vector>

#include "window/WindowDesign.h"

namespace snapsift {

// The widgets in the design's order, made as children of `client` (or of their frame).
std::vector<QWidget*> MakeDesignedWidgets(const WindowDesign& design, QWidget& client);

// Gives a label the text and its designed font fitted afresh to it.
void SetDesignedLabelText(QWidget& label, const QString& text);

}  // namespace snapsift

// A check box whose caption wraps onto several lines inside the box's own rectangle and is
// centred vertically beside the indicator; the whole rectangle takes the click. A stand-in face
// too wide for the designed box is drawn a little smaller rather than clipped.
#pragma once

#include <QCheckBox>

namespace snapsift {

class WrapCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

}  // namespace snapsift

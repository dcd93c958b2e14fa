// A label that acts as a link: the hand pointer while the mouse is over it, and a signal
// when it is clicked.
#pragma once

#include <QLabel>

namespace snapsift {

class LinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit LinkLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace snapsift

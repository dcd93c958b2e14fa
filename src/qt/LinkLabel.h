// A label that acts as a link: the hand pointer while the mouse is over it, a stop in the tab
// order with a focus rectangle around its text, and a signal when it is clicked or, with the
// focus on it, Enter or Space is pressed. Screen readers are told it is a link, which their
// press action follows.
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
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace snapsift

#include "qt/LinkLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace snapsift {

namespace {

// What assistive technology sees of a LinkLabel: a link whose press action is a click.
class AccessibleLink : public QAccessibleWidget {
public:
    explicit AccessibleLink(LinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}

    QStringList actionNames() const override { return QStringList(pressAction()) << QAccessibleWidget::actionNames(); }

    void doAction(const QString& action) override {
        if (action == pressAction())
            emit static_cast<LinkLabel*>(widget())->clicked();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* MakeAccessibleLink(const QString& className, QObject* object) {
    if (className != QLatin1String(LinkLabel::staticMetaObject.className())) return nullptr;
    auto* link = qobject_cast<LinkLabel*>(object);
    return link != nullptr ? new AccessibleLink(link) : nullptr;
}

}  // namespace

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
    static const bool accessible = (QAccessible::installFactory(MakeAccessibleLink), true);
    Q_UNUSED(accessible);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
                event->accept();  // not the dialog's default button
                emit clicked();
                return;
            }
            break;
        default: break;
    }
    QLabel::keyPressEvent(event);
}

void LinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QStylePainter painter(this);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    const int flags = static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
    focus.rect = fontMetrics().boundingRect(contentsRect(), flags, text()).adjusted(-1, 0, 1, 0) & rect();
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
}

}  // namespace snapsift

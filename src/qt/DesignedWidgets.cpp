#include "qt/DesignedWidgets.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleHints>
#include <QtGlobal>
#if QT_VERSION >= QT_VERSION_CHECK(6, 10, 0)
#include <QAccessibilityHints>
#endif

#include "qt/DriveCombo.h"
#include "qt/LinkLabel.h"
#include "qt/ProgramIcon.h"
#include "qt/WindowMetrics.h"
#include "qt/WrapCheckBox.h"

namespace snapsift {

namespace {

// The font a label was designed with, kept so that a new text is fitted from it afresh.
constexpr char kDesignedFont[] = "designedFont";

// The etched rule: a grey line with a white one beneath it.
class EtchedRule : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(0, 0, width(), 1, QColor(0x80, 0x80, 0x80));
        painter.fillRect(1, 1, width() - 1, height() - 1, Qt::white);
    }
};

// Whether the user has asked the desktop for high contrast; Qt says so from 6.10 on.
bool HighContrastAsked() {
#if QT_VERSION >= QT_VERSION_CHECK(6, 10, 0)
    return QGuiApplication::styleHints()->accessibility()->contrastPreference() == Qt::ContrastPreference::HighContrast;
#else
    return false;
#endif
}

Rgb ToRgb(const QColor& colour) {
    return {static_cast<unsigned char>(colour.red()), static_cast<unsigned char>(colour.green()),
            static_cast<unsigned char>(colour.blue())};
}

// Colours the dark blue rows for the client's palette as made, and again at each of its changes.
class DarkBlueRows : public QObject {
public:
    DarkBlueRows(QWidget& client, std::vector<QWidget*> rows)
        : QObject(&client), client_(client), rows_(std::move(rows)) {
        Colour();
        client.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &client_ && event->type() == QEvent::PaletteChange) Colour();
        return false;
    }

private:
    void Colour() {
        const QColor colour = DarkBlueTextColour(client_.palette());
        for (QWidget* row : rows_) SetTextColour(*row, colour);
    }

    QWidget& client_;
    std::vector<QWidget*> rows_;
};

QWidget* MakeWidget(const ControlDesign& row, QWidget* parent) {
    const QString text = QString::fromStdString(row.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    switch (row.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultButton: {
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(true);  // Enter presses the button that has the focus
            button->setDefault(row.kind == ControlKind::DefaultButton);
            return button;
        }
        case ControlKind::CheckBox: {
            auto* box = new WrapCheckBox(text, parent);
            box->setChecked(row.checked);
            return box;
        }
        case ControlKind::TextBox: {
            auto* box = new QLineEdit(text, parent);
            box->setReadOnly(true);
            return box;
        }
        case ControlKind::PathBox: {
            auto* box = new QPlainTextEdit(text, parent);
            box->setReadOnly(true);
            box->setFocusPolicy(Qt::StrongFocus);
            box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            return box;
        }
        case ControlKind::DropDownList: return new DriveCombo(parent);
        case ControlKind::Label:
        case ControlKind::Link:
        case ControlKind::Icon: {
            QLabel* label = row.kind == ControlKind::Link ? new LinkLabel(parent) : new QLabel(parent);
            label->setTextFormat(Qt::PlainText);
            label->setText(text);
            label->setWordWrap(row.kind == ControlKind::Label);
            label->setAlignment((row.align == Align::Centre ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
            if (row.kind == ControlKind::Icon) label->setPixmap(ProgramIcon().pixmap(kIconPixels, kIconPixels));
            return label;
        }
        case ControlKind::Frame: {
            auto* frame = new QFrame(parent);
            frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
            return frame;
        }
        case ControlKind::Rule: {
            auto* rule = new QFrame(parent);
            rule->setFrameStyle(QFrame::HLine | QFrame::Plain);
            rule->setLineWidth(1);
            return rule;
        }
        case ControlKind::EtchedRule: return new EtchedRule(parent);
    }
    return new QWidget(parent);
}

}  // namespace

QColor DarkBlueTextColour(const QPalette& palette) {
    const Rgb colour = DarkBlueOr(ToRgb(palette.color(QPalette::Window)), ToRgb(palette.color(QPalette::WindowText)),
                                  HighContrastAsked());
    return QColor(colour.red, colour.green, colour.blue);
}

std::vector<QWidget*> MakeDesignedWidgets(const WindowDesign& design, QWidget& client,
                                          const AccessibleNames& accessibleName) {
    const TwipsScale twips(client);
    std::vector<QWidget*> widgets;
    std::vector<QWidget*> darkBlue;
    for (const ControlDesign& row : design.controls) {
        QWidget* parent = row.inside >= 0 ? widgets[static_cast<std::size_t>(row.inside)] : &client;
        QWidget* widget = MakeWidget(row, parent);
        widget->setObjectName(QString::fromStdString(row.name));
        widget->setAccessibleName(QString::fromStdString(accessibleName(static_cast<int>(widgets.size()))));
        QRect place = twips.Rect(row.place);
        // A rule keeps its drawn thickness at any resolution: one pixel, or two when etched.
        if (row.kind == ControlKind::Rule) place.setHeight(1);
        if (row.kind == ControlKind::EtchedRule) place.setHeight(2);
        widget->setGeometry(place);
        const QFont font = DesignedFont(row.font);
        widget->setFont(font);
        if (row.darkBlue) darkBlue.push_back(widget);
        if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && FitsText(row.kind)) {
            label->setProperty(kDesignedFont, font);
            FitLabelFont(*label);
        }
        if (!row.visible) widget->hide();
        widgets.push_back(widget);
    }
    new DarkBlueRows(client, std::move(darkBlue));
    for (std::size_t i = 1; i < design.tabOrder.size(); ++i) {
        QWidget::setTabOrder(widgets[static_cast<std::size_t>(design.tabOrder[i - 1])],
                             widgets[static_cast<std::size_t>(design.tabOrder[i])]);
    }
    return widgets;
}

void SetDesignedLabelText(QWidget& widget, const QString& text) {
    auto& label = static_cast<QLabel&>(widget);
    label.setText(text);
    label.setFont(label.property(kDesignedFont).value<QFont>());
    FitLabelFont(label);
}

}  // namespace snapsift

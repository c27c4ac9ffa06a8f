#include "shell/card_label.h"

#include "reels/card_constants.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace jackwell {

namespace {

constexpr int kDimmedAlpha = 150; // of 255: how dark a button that does nothing now is drawn

// A card label as screen readers see it: a clickable one is a button that can be pressed, any
// other is text that reads its caption.
class CardLabelAccessible final : public QAccessibleWidget {
public:
    explicit CardLabelAccessible(CardLabel* label)
        : QAccessibleWidget(label,
                            label->isClickable() ? QAccessible::Button : QAccessible::StaticText) {}

    // The caption is the value ("HELD", "105"), and the name of a label that has none of its own;
    // a figure's name reads with it ("Credits: 105").
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value)
            return label()->caption();
        const QString own = QAccessibleWidget::text(kind);
        if (kind == QAccessible::Name && own.isEmpty())
            return label()->caption();
        if (kind == QAccessible::Name && !label()->isClickable())
            return own + QStringLiteral(": ") + label()->caption();
        return own;
    }
    QStringList actionNames() const override {
        return label()->isClickable() ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& action) override {
        if (action == pressAction())
            label()->click();
    }

private:
    CardLabel* label() const { return static_cast<CardLabel*>(widget()); }
};

QAccessibleInterface* cardLabelAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(CardLabel::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new CardLabelAccessible(static_cast<CardLabel*>(object));
    return nullptr;
}

} // namespace

void CardLabel::installAccessibility() {
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(cardLabelAccessible);
        return true;
    }();
}

CardLabel::CardLabel(const TextStyle& style, bool clickable, QWidget* parent)
    : QWidget(parent)
    , style_(style)
    , clickable_(clickable) {
    installAccessibility();
    setFont(cardFont(style.pointSize, style.bold));
    setAttribute(Qt::WA_TransparentForMouseEvents, !clickable);
    setFocusPolicy(clickable ? Qt::TabFocus : Qt::NoFocus);
    if (style.backColour)
        setAttribute(Qt::WA_OpaquePaintEvent);
}

void CardLabel::setCaption(const QString& caption) {
    if (caption == caption_)
        return;
    caption_ = caption;
    update();
    if (!clickable_) { // its name reads the caption: screen readers hear the new one
        QAccessibleEvent changed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

void CardLabel::click() {
    if (clickable_ && isEnabled())
        emit clicked();
}

void CardLabel::setBackColour(quint32 bgr) {
    if (style_.backColour == bgr)
        return;
    style_.backColour = bgr;
    setAttribute(Qt::WA_OpaquePaintEvent);
    update();
}

void CardLabel::setDimmed(bool dimmed) {
    if (dimmed == dimmed_)
        return;
    dimmed_ = dimmed;
    update();
}

void CardLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QRect area = rect();
    if (style_.backColour)
        painter.fillRect(area, colourFromBgr(*style_.backColour));
    if (dimmed_) // the painted word beneath shows darkened
        painter.fillRect(area, QColor(0, 0, 0, kDimmedAlpha));
    if (style_.border) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        area.adjust(1, 1, -1, -1);
    }
    if (hasFocus()) {
        // A dotted frame shows which button Return would click: black on a light ground (the
        // holds' cyan and yellow), white on the card's dark one. Light as the eye sees it: by
        // hue and lightness, cyan and yellow would be no lighter than red.
        const bool light =
            qGray(colourFromBgr(style_.backColour.value_or(kColourBlack)).rgb()) > 128;
        QPen frame(light ? Qt::black : colourFromBgr(kColourWhite), 1, Qt::DotLine);
        painter.setPen(frame);
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
    if (caption_.isEmpty())
        return;
    painter.setPen(style_.textColour ? colourFromBgr(*style_.textColour)
                                     : palette().color(QPalette::WindowText));
    const int flags = int(style_.alignment) | (style_.wordWrap ? Qt::TextWordWrap : 0);
    const int width = fontMetrics().horizontalAdvance(caption_);
    if (style_.wordWrap || width <= area.width()) {
        painter.drawText(area, flags, caption_);
        return;
    }
    // A caption wider than its label (a two-digit code, a long number) is
    // narrowed to fit rather than cut off.
    painter.translate(area.left(), 0);
    painter.scale(double(area.width()) / width, 1.0);
    painter.drawText(QRect(0, area.top(), width, area.height()), flags, caption_);
}

void CardLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
}

void CardLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click)
        this->click();
}

void CardLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (clickable_ && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Select)) {
        click();
        return;
    }
    event->ignore(); // the card's own keys are the window's
}

void CardLabel::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update(); // the focus frame comes
}

void CardLabel::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update(); // the focus frame goes
}

} // namespace jackwell

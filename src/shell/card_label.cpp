#include "shell/card_label.h"

#include <QMouseEvent>
#include <QPainter>

namespace jackwell {

CardLabel::CardLabel(const TextStyle& style, bool clickable, QWidget* parent)
    : QWidget(parent)
    , style_(style) {
    setFont(cardFont(style.pointSize, style.bold));
    setAttribute(Qt::WA_TransparentForMouseEvents, !clickable);
    if (style.backColour)
        setAttribute(Qt::WA_OpaquePaintEvent);
}

void CardLabel::setCaption(const QString& caption) {
    if (caption == caption_)
        return;
    caption_ = caption;
    update();
}

void CardLabel::setBackColour(quint32 bgr) {
    if (style_.backColour == bgr)
        return;
    style_.backColour = bgr;
    setAttribute(Qt::WA_OpaquePaintEvent);
    update();
}

void CardLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QRect area = rect();
    if (style_.backColour)
        painter.fillRect(area, colourFromBgr(*style_.backColour));
    if (style_.border) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        area.adjust(1, 1, -1, -1);
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
    if (click && isEnabled())
        emit clicked();
}

} // namespace jackwell

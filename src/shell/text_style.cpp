#include "shell/text_style.h"

#include "reels/card_constants.h"

#include <QFontMetrics>

namespace jackwell {

QColor colourFromBgr(quint32 bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

QFont cardFont(double pointSize, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

QFont fittedFont(const QFont& font, const QString& text, int width) {
    constexpr int kNarrowest = 75; // per cent of the font's own width
    QFont fitted = font;
    for (int stretch = 100; stretch > kNarrowest; --stretch) {
        if (QFontMetrics(fitted).horizontalAdvance(text) <= width)
            break;
        fitted.setStretch(stretch - 1);
    }
    return fitted;
}

TextStyle TextStyle::cardCaption() {
    TextStyle style;
    style.textColour = kColourWhite;
    return style;
}

TextStyle TextStyle::holdButton() {
    TextStyle style;
    style.backColour = kColourNotHeld;
    style.border = true;
    return style;
}

TextStyle TextStyle::drawCode() {
    TextStyle style = cardCaption();
    style.pointSize = 12;
    return style;
}

} // namespace jackwell

#include "shell/text_style.h"

#include "reels/card_constants.h"

namespace jackwell {

QColor colourFromBgr(quint32 bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

QFont cardFont(double pointSize, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("sans-serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
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

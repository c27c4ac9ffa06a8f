#include "reels/card_state.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace jackwell {

bool isHeld(const CardState& state, int reel) {
    return state.reels[reel].hold.backColour == kColourHeld;
}

void setHeld(CardState& state, int reel, bool held) {
    HoldButton& hold = state.reels[reel].hold;
    hold.backColour = held ? kColourHeld : kColourNotHeld;
    hold.caption = held ? QStringLiteral("HELD") : QStringLiteral("HOLD");
}

void toggleHold(CardState& state, int reel) {
    setHeld(state, reel, state.reels[reel].hold.backColour == kColourNotHeld);
}

QString normaliseCode(const QString& caption) {
    if (caption.size() == 2 && caption[0] == u'0' && caption[1] >= u'1' && caption[1] <= u'9')
        return caption.right(1);
    return caption;
}

void normaliseCodes(CardState& state) {
    for (Reel& reel : state.reels)
        reel.firstCode = normaliseCode(reel.firstCode);
    for (Reel& reel : state.reels)
        reel.finalCode = normaliseCode(reel.finalCode);
}

qint16 codeValue(const QString& caption) {
    const QString trimmed = caption.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 12)
        return 0;
    bool ok = false;
    const int value = trimmed.toInt(&ok, 10);
    if (!ok || value < std::numeric_limits<qint16>::min() ||
        value > std::numeric_limits<qint16>::max())
        return 0;
    return qint16(value);
}

int symbolImage(qint16 value) {
    return value >= 1 && value <= machine::kSymbolCount ? value : kNoImage;
}

void showDrawnSymbols(CardState& state, Draw draw) {
    for (Reel& reel : state.reels) {
        const QString& code = draw == Draw::First ? reel.firstCode : reel.finalCode;
        reel.resultPicture.image = symbolImage(codeValue(code));
    }
}

// The product is worked out on the digits themselves, so that it is exact however many digits
// the credits have, and is written as plain digits: 2.5 credits give 125, 20000000000000 give
// 1000000000000000, never 1e+15. A product with a fraction keeps a point and the digits it needs.
std::optional<QString> tokensFor(const QString& credits) {
    static const QRegularExpression decimal(
        QStringLiteral("^\\s*([+-]?)(\\d*)(?:\\.(\\d*))?\\s*$"));
    if (credits.size() > 64)
        return std::nullopt;
    const QRegularExpressionMatch number = decimal.match(credits);
    const QString whole = number.captured(2);
    const QString fraction = number.captured(3);
    if (!number.hasMatch() || whole.size() + fraction.size() == 0)
        return std::nullopt;

    // credits = digits / 10^fraction.size(), so credits * 50 = digits * 5 * 10^(1 - that).
    const QString digits = whole + fraction;
    QString product(digits.size() + 1, u'0');
    int carry = 0;
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        const int value = digits[i].digitValue() * 5 + carry;
        product[i + 1] = QChar(u'0' + value % 10);
        carry = value / 10;
    }
    product[0] = QChar(u'0' + carry);
    const qsizetype shift = 1 - fraction.size();
    if (shift >= 0) {
        product += QString(shift, u'0');
    } else {
        product.insert(product.size() + shift, u'.');
        while (product.endsWith(u'0'))
            product.chop(1);
        if (product.endsWith(u'.'))
            product.chop(1);
    }
    qsizetype leading = 0;
    while (leading + 1 < product.size() && product[leading] == u'0' && product[leading + 1] != u'.')
        ++leading;
    product.remove(0, leading);
    const bool zero =
        std::all_of(product.begin(), product.end(), [](QChar c) { return c == u'0' || c == u'.'; });
    if (number.captured(1) == u"-" && !zero)
        product.prepend(u'-');
    return QStringLiteral("(") + product + QStringLiteral(")");
}

} // namespace jackwell

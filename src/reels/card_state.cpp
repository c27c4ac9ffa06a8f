#include "reels/card_state.h"

#include <QRegularExpression>

#include <cmath>
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

void takeDrawCodes(CardState& state, Draw draw) {
    const int first = draw == Draw::First ? 0 : 3;
    for (int i = 0; i < 3; ++i) {
        Reel& reel = state.reels[i];
        const qint16 value = codeValue(draw == Draw::First ? reel.firstCode : reel.finalCode);
        state.drawCodes[first + i] = value;
        reel.resultPicture.image = symbolImage(value);
    }
}

std::optional<QString> tokensFor(const QString& credits) {
    static const QRegularExpression decimal(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)\\s*$"));
    if (credits.size() > 64 || !decimal.match(credits).hasMatch())
        return std::nullopt;
    const double product = credits.trimmed().toDouble() * 50.0;
    QString text;
    if (std::fabs(product) < 1e15 && product == std::floor(product))
        text = QString::number(qint64(product));
    else
        text = QString::number(product, 'g', 15);
    return QStringLiteral("(") + text + QStringLiteral(")");
}

} // namespace jackwell

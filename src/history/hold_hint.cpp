#include "history/hold_hint.h"

#include "machine/exact_return.h"

#include <QStringList>

namespace jackwell::history {

namespace {

const char* const kReelNames[machine::kReelCount] = {"left", "middle", "right"};

QString heldReels(const machine::HoldMask& holds) {
    QStringList reels;
    for (int reel = 0; reel < machine::kReelCount; ++reel) {
        if (holds[reel])
            reels << QLatin1String(kReelNames[reel]);
    }
    switch (reels.size()) {
    case 0:
        return QStringLiteral("none");
    case 1:
        return QStringLiteral("the %1 reel").arg(reels[0]);
    case 2:
        return QStringLiteral("the %1 and %2 reels").arg(reels[0], reels[1]);
    default:
        return QStringLiteral("all three reels");
    }
}

QString worth(const machine::HoldValue& value) {
    const double tokens = value.pays.meanTokens;
    return QStringLiteral("%1 tokens (%2 credits)")
        .arg(tokens, 0, 'f', 2)
        .arg(tokens / double(machine::kTokensPerCredit), 0, 'f', 2);
}

} // namespace

QString holdHint(const machine::ReelCodes& firstDraw, const machine::HoldMask& cardHolds) {
    const machine::HoldValueTable& table = machine::machineHoldValues();
    const auto choices = table.choices(firstDraw);
    if (!choices)
        return QStringLiteral("No first draw on the card yet: click START to see one.");
    QStringList symbols;
    for (int code : firstDraw)
        symbols << QLatin1String(machine::kSymbolNames[code]);
    const machine::HoldValue& best = choices->front();
    return QStringLiteral("First draw: %1\n"
                          "Best holds: %2, worth %3 a game on average\n"
                          "Your holds: %4, worth %5\n"
                          "No holds: worth %6\n\n"
                          "The hint only shows; the holds are yours to choose.")
        .arg(symbols.join(QStringLiteral(", ")), heldReels(best.holds), worth(best),
             heldReels(cardHolds), worth(*table.value(firstDraw, cardHolds)),
             worth(*table.value(firstDraw, {})));
}

} // namespace jackwell::history

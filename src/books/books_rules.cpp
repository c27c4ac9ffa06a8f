#include "books/books_rules.h"

#include <QStringList>

namespace jackwell::books {

QString encodeCodes(const machine::ReelCodes& codes) {
    QStringList parts;
    for (int code : codes)
        parts << QStringLiteral("%1").arg(code, 2, 10, QLatin1Char('0'));
    return parts.join(u',');
}

std::optional<machine::ReelCodes> decodeCodes(const QString& text) {
    const QStringList parts = text.split(u',');
    if (parts.size() != machine::kReelCount)
        return std::nullopt;
    machine::ReelCodes codes{};
    for (int reel = 0; reel < machine::kReelCount; ++reel) {
        bool ok = false;
        codes[reel] = parts[reel].toInt(&ok);
        if (!ok || !machine::isSymbol(codes[reel]))
            return std::nullopt;
    }
    return codes;
}

QString encodeHolds(const machine::HoldMask& holds) {
    QStringList parts;
    for (bool held : holds)
        parts << (held ? QStringLiteral("1") : QStringLiteral("0"));
    return parts.join(u',');
}

std::optional<machine::HoldMask> decodeHolds(const QString& text) {
    const QStringList parts = text.split(u',');
    if (parts.size() != machine::kReelCount)
        return std::nullopt;
    machine::HoldMask holds{};
    for (int reel = 0; reel < machine::kReelCount; ++reel) {
        if (parts[reel] != u"0" && parts[reel] != u"1")
            return std::nullopt;
        holds[reel] = parts[reel] == u"1";
    }
    return holds;
}

qint64 StoredPlayer::untoldDrawAfter(const machine::PlayerRecord& next) const {
    if (next.pendingFirstDraw && !record.pendingFirstDraw)
        return next.gamesPlayed + 1;
    return untoldDraw;
}

QVariant pendingDrawValue(const machine::PlayerRecord& record) {
    return record.pendingFirstDraw ? QVariant(encodeCodes(*record.pendingFirstDraw))
                                   : QVariant(QMetaType(QMetaType::QString));
}

bool isBalancedSave(const StoredPlayer& stored, const machine::PlayerRecord& record) {
    const machine::PlayerRecord& old = stored.record;
    const qint64 granted = record.freeCreditsGranted - old.freeCreditsGranted;
    return record.gamesPlayed == old.gamesPlayed && record.tokensWon == old.tokensWon &&
           granted >= 0 && record.credits - old.credits == granted;
}

bool isNextGame(const StoredPlayer& stored, const machine::GameOutcome& outcome,
                const machine::PlayerRecord& after) {
    const machine::PlayerRecord& old = stored.record;
    return stored.found && old.pendingFirstDraw == outcome.firstDraw &&
           outcome.creditsBefore == old.credits && outcome.cost == machine::kGameCost &&
           outcome.tokensWon >= 0 && outcome.tokensWon % machine::kTokensPerCredit == 0 &&
           outcome.creditsAfter == outcome.creditsBefore - outcome.cost +
                                       outcome.tokensWon / machine::kTokensPerCredit &&
           after.credits == outcome.creditsAfter && after.gamesPlayed == old.gamesPlayed + 1 &&
           after.tokensWon == old.tokensWon + outcome.tokensWon &&
           after.freeCreditsGranted == old.freeCreditsGranted;
}

} // namespace jackwell::books

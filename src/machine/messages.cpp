#include "machine/messages.h"

#include "machine/texts.h"

#include <QStringList>

#include <algorithm>

namespace jackwell::machine {

namespace {

QString twoDigits(int code) {
    return QStringLiteral("%1").arg(code, 2, 10, QLatin1Char('0'));
}

} // namespace

QString announcementLine(const QString& keeperName) {
    return QString(kAnnouncement).arg(keeperName);
}

QString balanceLine(qint64 credits) {
    return QString(kBalance).arg(credits);
}

QString freeGameOfferLine(qint64 credits) {
    return QString(kFreeGameOffer).arg(credits);
}

QString payoutTableLine() {
    QStringList amounts;
    for (const PayRow& row : kPayTable)
        amounts << QString::number(row.tokens);
    return kPayoutsHead + amounts.join(QLatin1Char(':'));
}

QString firstDrawLine(const ReelCodes& codes) {
    Q_ASSERT(isSymbol(codes[0]) && isSymbol(codes[1]) && isSymbol(codes[2]));
    return QString(kFirstDraw).arg(twoDigits(codes[0]), twoDigits(codes[1]), twoDigits(codes[2]));
}

QString finalDrawLine(const ReelCodes& codes, qint64 credits) {
    Q_ASSERT(isSymbol(codes[0]) && isSymbol(codes[1]) && isSymbol(codes[2]));
    Q_ASSERT(credits >= 0 && credits <= kMaxShownCredits);
    return QString(kFinalDraw)
        .arg(twoDigits(codes[0]), twoDigits(codes[1]), twoDigits(codes[2]),
             QString::number(credits));
}

namespace {

// "Three grapes", "Two cherries", "One cherry": the winning row's symbols as the player sees
// them; empty when the draw wins nothing.
QString winningSymbols(const ReelCodes& codes) {
    if (codes[0] == codes[1] && codes[1] == codes[2] && isSymbol(codes[0]))
        return QStringLiteral("Three ") + QLatin1String(kSymbolNames[codes[0]]);
    const auto cherries = std::count(codes.begin(), codes.end(), symbol::Cherries);
    if (cherries == 2)
        return QStringLiteral("Two cherries");
    if (cherries == 1)
        return QStringLiteral("One cherry");
    return {};
}

} // namespace

QString outcomeSentence(const ReelCodes& finalDraw, const QString& creditsAfter) {
    const qint64 tokens = tokensWon(finalDraw);
    const QString credits = QString(kCreditsSentence).arg(creditsAfter);
    if (tokens <= 0)
        return kNoWinSentence + u' ' + credits;
    const qint64 wonCredits = tokens / kTokensPerCredit;
    const QString unit =
        wonCredits == 1 ? QStringLiteral("1 credit") : QStringLiteral("%1 credits").arg(wonCredits);
    return QString(kWinSentence).arg(winningSymbols(finalDraw)).arg(tokens).arg(unit) + u' ' +
           credits;
}

// The sentences share a line, so that a game costs the robot's paced queue one line more than
// its protocol lines.
QStringList firstDrawLines(const ReelCodes& firstDraw) {
    return {firstDrawLine(firstDraw), QString(kStartHint + u' ' + kHoldHint)};
}

// The outcome is not told here: the player sees it when the card has spun onto the final draw,
// and the card tells it in words then.
QStringList gameResultLines(const ReelCodes& finalDraw, qint64 creditsAfter,
                            const std::optional<ReelCodes>& nextFirstDraw) {
    return {finalDrawLine(finalDraw, creditsAfter), QString(kFinishHint),
            nextFirstDraw ? firstDrawLine(*nextFirstDraw) : QString(kCreditsUsedUp)};
}

std::optional<HoldMask> parseHolds(const QString& text) {
    // Exactly: prefix, digit, comma, digit, comma, digit.
    if (text.size() != kHoldPrefix.size() + 5 || !text.startsWith(kHoldPrefix))
        return std::nullopt;
    const QStringView digits = QStringView(text).mid(kHoldPrefix.size());
    if (digits[1] != QLatin1Char(',') || digits[3] != QLatin1Char(','))
        return std::nullopt;
    HoldMask holds{};
    for (int reel = 0; reel < kReelCount; ++reel) {
        const QChar digit = digits[2 * reel];
        if (digit != QLatin1Char('0') && digit != QLatin1Char('1'))
            return std::nullopt;
        holds[reel] = digit == QLatin1Char('1');
    }
    return holds;
}

bool looksLikeHolds(const QString& text) {
    return text.trimmed().startsWith(kHoldPrefix.trimmed(), Qt::CaseInsensitive);
}

bool isMachinekeeperText(const QString& text) {
    // Each text up to its first blank to fill in.
    static const QStringList heads = [] {
        QStringList all;
        for (const QString& said :
             {QString(kKeeperHead), QString(kFreeGameOfferHead), QString(kPayoutsWord),
              QString(kFirstDrawHead), QString(kFinalDrawHead), QString(kBalanceHead),
              QString(kStartHint), QString(kHoldHint), QString(kFinishHint),
              QString(kNoWinSentence), kCreditsUsedUp, kNoGameWaiting, kHoldFormatHelp,
              kUnknownRequestHelp, QString(kSlowDown), QString(kLogInFirst), QString(kOutOfOrder)})
            all << said.left(said.indexOf(u'%'));
        return all;
    }();
    return std::ranges::any_of(heads, [&](const QString& head) { return text.startsWith(head); });
}

} // namespace jackwell::machine

#include "machine/machine_keeper.h"

#include "machine/messages.h"
#include "machine/texts.h"

#include <algorithm>
#include <utility>

namespace jackwell::machine {

namespace {

constexpr qint64 kTopPrizeCredits =
    std::ranges::max(kPayTable, {}, &PayRow::tokens).tokens / kTokensPerCredit;
// Credits above this could not be shown after a won game (see kMaxShownCredits).
constexpr qint64 kMaxCredits = kMaxShownCredits - kTopPrizeCredits;

bool allSymbols(const ReelCodes& codes) {
    return std::ranges::all_of(codes, isSymbol);
}

// Records come from storage and are checked before play: the lines built from them must
// keep the shape the player's program reads.
bool isPlayable(const PlayerRecord& record) {
    if (record.credits < 0 || record.credits > kMaxCredits)
        return false;
    if (!record.pendingFirstDraw)
        return true;
    return record.credits >= kGameCost && allSymbols(*record.pendingFirstDraw);
}

GameOutcome settleGame(const ReelCodes& firstDraw, const HoldMask& holds, const ReelCodes& redraw,
                       qint64 creditsBefore) {
    GameOutcome outcome;
    outcome.firstDraw = firstDraw;
    outcome.holds = holds;
    for (int reel = 0; reel < kReelCount; ++reel)
        outcome.finalDraw[reel] = holds[reel] ? firstDraw[reel] : redraw[reel];
    outcome.creditsBefore = creditsBefore;
    outcome.cost = kGameCost;
    outcome.tokensWon = tokensWon(outcome.finalDraw);
    outcome.creditsAfter = creditsBefore - kGameCost + outcome.tokensWon / kTokensPerCredit;
    return outcome;
}

Reply tell(const QString& player, QString text) {
    return Reply{false, player, std::move(text)};
}

} // namespace

MachineKeeper::MachineKeeper(QString name, Books& books, quint64 seed)
    : name_(std::move(name))
    , books_(books)
    , random_(seed) {}

QStringList MachineKeeper::bannerLines() const {
    return {kWelcomeBanner, announcementLine(name_)};
}

std::vector<Reply> MachineKeeper::onPrivateMessage(const QString& sender, const QString& text) {
    if (sender.isEmpty() || sender.size() > kMaxPlayerNameLength)
        return {};
    if (text == kRegisterRequest)
        return registerPlayer(sender);
    if (const auto holds = parseHolds(text))
        return playGame(sender, *holds);
    return {tell(sender, looksLikeHolds(text) ? kHoldFormatHelp : kUnknownRequestHelp)};
}

std::vector<Reply> MachineKeeper::registerPlayer(const QString& player) {
    const std::optional<PlayerRecord> record = loadPlayable(player);
    if (!record)
        return {tell(player, kOutOfOrder)};

    std::vector<Reply> lines;
    PlayerRecord updated = *record;
    if (updated.credits < kGameCost) {
        updated.credits += kFreeGameCredits;
        updated.freeCreditsGranted += kFreeGameCredits;
        lines.push_back(tell(player, freeGameOfferLine(kFreeGameCredits)));
    } else {
        // A player back after a while sees their credits at once, not only after a game.
        lines.push_back(tell(player, balanceLine(updated.credits)));
    }
    // A game already waiting keeps its first draw, so asking again changes nothing.
    if (!updated.pendingFirstDraw)
        updated.pendingFirstDraw = drawReels();
    if (updated != *record && !books_.save(player, updated))
        return {tell(player, kOutOfOrder)};

    lines.push_back(tell(player, payoutTableLine()));
    for (const QString& line : firstDrawLines(*updated.pendingFirstDraw))
        lines.push_back(tell(player, line));
    return lines;
}

std::vector<Reply> MachineKeeper::playGame(const QString& player, const HoldMask& holds) {
    const std::optional<PlayerRecord> record = loadPlayable(player);
    if (!record)
        return {tell(player, kOutOfOrder)};
    if (!record->pendingFirstDraw)
        return {tell(player, kNoGameWaiting)};

    // All three reels are drawn every game, held or not, so the draws of later games do not
    // depend on this game's holds.
    const GameOutcome outcome =
        settleGame(*record->pendingFirstDraw, holds, drawReels(), record->credits);
    PlayerRecord after = *record;
    after.credits = outcome.creditsAfter;
    after.gamesPlayed += 1;
    after.tokensWon += outcome.tokensWon;
    after.pendingFirstDraw = after.credits >= kGameCost ? std::optional(drawReels()) : std::nullopt;

    if (!books_.commitGame(player, outcome, after))
        return {tell(player, kOutOfOrder)};

    std::vector<Reply> lines;
    for (const QString& line :
         gameResultLines(outcome.finalDraw, after.credits, after.pendingFirstDraw))
        lines.push_back(tell(player, line));
    return lines;
}

std::optional<PlayerRecord> MachineKeeper::loadPlayable(const QString& player) {
    std::optional<PlayerRecord> record = books_.load(player);
    if (record && !isPlayable(*record))
        record.reset();
    return record;
}

ReelCodes MachineKeeper::drawReels() {
    std::uniform_int_distribution<int> symbolDraw(1, kSymbolCount);
    ReelCodes codes{};
    for (int& code : codes)
        code = symbolDraw(random_);
    return codes;
}

} // namespace jackwell::machine

#include "keeper/keeper_resent_holds.h"

namespace jackwell::keeper {

bool KeeperResentHolds::isCrossingCopy(const QString& player, machine::HoldMask holds,
                                       qint64 nowMs) {
    const auto found = entries_.find(player);
    if (found != entries_.end() && found->holds == holds) {
        if (found->resultOutMs < 0) {
            // A copy, read before the result went out: the books' turn finds that result still
            // on its way and plays nothing.
            found->sentAgain = true;
            return false;
        }
        if (found->sentAgain && nowMs - found->resultOutMs < kCrossingMs)
            return true;
    }
    if (found == entries_.end() && entries_.size() >= kMostFollowed)
        entries_.clear();
    entries_.insert(player, Entry{holds, false, -1});
    return false;
}

void KeeperResentHolds::resultOut(const QString& player, qint64 nowMs) {
    const auto found = entries_.find(player);
    if (found != entries_.end() && found->resultOutMs < 0)
        found->resultOutMs = nowMs;
}

} // namespace jackwell::keeper

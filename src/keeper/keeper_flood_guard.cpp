#include "keeper/keeper_flood_guard.h"

#include "clock/clock.h"

#include <algorithm>

namespace jackwell::keeper {

namespace {

// Idle players are looked for this often...
constexpr qint64 kSweepEveryMs = 10000;
// ... and with the table full, no more than once a second, so that a stream of new names
// cannot make every message cost a sweep.
constexpr qint64 kFullSweepEveryMs = 1000;

} // namespace

KeeperFloodGuard::KeeperFloodGuard(Clock& clock)
    : clock_(clock)
    , sweptAtMs_(clock.monotonicMs()) {}

void KeeperFloodGuard::refill(Bucket& bucket, qint64 now) const {
    const qint64 elapsed = now - bucket.refilledAtMs;
    if (elapsed <= 0)
        return;
    bucket.tokens = std::min<double>(kBurst, bucket.tokens + elapsed * kPerSecond / 1000.0);
    bucket.refilledAtMs = now;
}

// A player whose bucket has filled up again is as good as new: nothing about them needs
// keeping, except a recent warning (forgetting it could only cost one more sentence).
void KeeperFloodGuard::forgetIdle(qint64 now) {
    sweptAtMs_ = now;
    for (auto it = players_.begin(); it != players_.end();) {
        refill(*it, now);
        const bool warnedLately = it->warnedAtMs >= 0 && now - it->warnedAtMs < kWarnEveryMs;
        if (it->tokens >= kBurst && !warnedLately)
            it = players_.erase(it);
        else
            ++it;
    }
}

KeeperFloodGuard::Verdict KeeperFloodGuard::admit(const QString& player) {
    const qint64 now = clock_.monotonicMs();
    const bool full = players_.size() >= kMaxPlayers && !players_.contains(player);
    if (now - sweptAtMs_ >= kSweepEveryMs || (full && now - sweptAtMs_ >= kFullSweepEveryMs))
        forgetIdle(now);
    auto found = players_.find(player);
    if (found == players_.end()) {
        if (players_.size() >= kMaxPlayers)
            return Verdict::Drop; // everyone followed is busy: nobody new for now
        found = players_.insert(player, Bucket{double(kBurst), now, -1});
    }
    Bucket& bucket = *found;
    refill(bucket, now);
    if (bucket.tokens >= 1.0) {
        bucket.tokens -= 1.0;
        return Verdict::Take;
    }
    if (bucket.warnedAtMs >= 0 && now - bucket.warnedAtMs < kWarnEveryMs)
        return Verdict::Drop;
    bucket.warnedAtMs = now;
    return Verdict::DropAndWarn;
}

qint64 KeeperFloodGuard::msUntilNext(const QString& player) const {
    const auto found = players_.constFind(player);
    if (found == players_.cend())
        return 0;
    Bucket bucket = *found;
    refill(bucket, clock_.monotonicMs());
    if (bucket.tokens >= 1.0)
        return 0;
    return qint64((1.0 - bucket.tokens) * 1000.0 / kPerSecond);
}

} // namespace jackwell::keeper

#include "keeper/keeper_deliveries.h"

namespace jackwell::keeper {

KeeperDeliveries::Status KeeperDeliveries::status(const QString& player, qint64 game) const {
    const auto found = results_.constFind(player);
    if (found == results_.cend() || found->game != game)
        return Status::Unknown;
    return found->status;
}

KeeperDeliveries::Status KeeperDeliveries::firstDrawStatus(const QString& player) const {
    const auto found = firstDraws_.constFind(player);
    return found == firstDraws_.cend() ? Status::Unknown : found->status;
}

KeeperDeliveries KeeperDeliveries::of(const QString& player) const {
    KeeperDeliveries one;
    if (const auto result = results_.constFind(player); result != results_.cend())
        one.results_.insert(player, *result);
    if (const auto draw = firstDraws_.constFind(player); draw != firstDraws_.cend())
        one.firstDraws_.insert(player, *draw);
    return one;
}

void KeeperDeliveries::queued(const QString& player, qint64 game) {
    results_.insert(player, Entry{game, Status::Queued, 0});
    // The result carries the next first draw: that is what the player is told now.
    firstDraws_.remove(player);
}

void KeeperDeliveries::handedOver(const QString& player, qint64 game) {
    Entry& entry = results_[player];
    // An older result told again changes nothing: the newer one is what matters now, and its
    // mark covers every game before it.
    if (entry.game > game)
        return;
    entry = Entry{game, Status::Sent, ++handedOverSeq_, entry.game == game && entry.whole};
}

void KeeperDeliveries::wholeHandedOver(const QString& player, qint64 game) {
    const auto found = results_.find(player);
    if (found == results_.end() || found->game != game)
        return;
    if (found->marked)
        results_.erase(found);
    else
        found->whole = true;
}

bool KeeperDeliveries::isPartlyQueued(const QString& player, qint64 game) const {
    const auto found = results_.constFind(player);
    return found != results_.cend() && found->game >= game && !found->whole;
}

void KeeperDeliveries::firstDrawQueued(const QString& player, qint64 game) {
    const auto found = firstDraws_.constFind(player);
    // Told again, a draw already handed over is no less seen: holds may be for it meanwhile.
    if (found != firstDraws_.cend() && found->game == game &&
        (found->status == Status::Sent || found->status == Status::Delivered))
        return;
    if (found == firstDraws_.cend())
        makeRoomForFirstDraw();
    firstDraws_.insert(player, Entry{game, Status::Queued, 0});
}

void KeeperDeliveries::firstDrawHandedOver(const QString& player) {
    const auto found = firstDraws_.find(player);
    if (found != firstDraws_.end() && found->status == Status::Queued)
        *found = Entry{found->game, Status::Sent, ++handedOverSeq_};
}

void KeeperDeliveries::firstDrawWithheld(const QString& player, qint64 game) {
    if (!firstDraws_.contains(player))
        makeRoomForFirstDraw();
    firstDraws_.insert(player, Entry{game, Status::Lost, 0});
}

void KeeperDeliveries::makeRoomForFirstDraw() {
    if (firstDraws_.size() < kMaxFollowed)
        return;
    for (auto it = firstDraws_.begin(); it != firstDraws_.end();) {
        if (it->status == Status::Lost || it->status == Status::Delivered)
            it = firstDraws_.erase(it);
        else
            ++it;
    }
    if (firstDraws_.size() >= kMaxFollowed)
        firstDraws_.erase(firstDraws_.begin());
}

void KeeperDeliveries::forget(const QString& player) {
    results_.remove(player);
}

bool KeeperDeliveries::recipientGone(const QString& player) {
    bool missed = false;
    if (const auto result = results_.find(player);
        result != results_.end() && (result->status != Status::Delivered || !result->whole)) {
        missed = true;
        // A result that reached them without the first draw after it: that draw is lost.
        const bool drawLost = result->status == Status::Delivered;
        const qint64 drawGame = result->game + 1;
        results_.erase(result);
        if (drawLost)
            firstDrawWithheld(player, drawGame);
    }
    const auto found = firstDraws_.find(player);
    if (found != firstDraws_.end() && found->status != Status::Delivered) {
        missed = missed || found->status != Status::Lost;
        found->status = Status::Lost;
    }
    return missed;
}

void KeeperDeliveries::probeSent() {
    probes_.push_back(handedOverSeq_);
    probedSeq_ = handedOverSeq_;
}

KeeperDeliveries::Delivered KeeperDeliveries::probeAnswered() {
    Delivered marks;
    if (probes_.empty())
        return marks;
    const quint64 covered = probes_.front();
    probes_.pop_front();
    auto delivered = [covered](const Entry& entry) {
        return entry.status == Status::Sent && entry.seq <= covered;
    };
    for (auto it = results_.begin(); it != results_.end(); ++it) {
        if (delivered(*it)) {
            marks.results.emplace_back(it.key(), it->game);
            it->status = Status::Delivered;
        }
    }
    for (auto it = firstDraws_.begin(); it != firstDraws_.end(); ++it) {
        if (delivered(*it)) {
            marks.firstDraws.emplace_back(it.key(), it->game);
            it->status = Status::Delivered;
        }
    }
    return marks;
}

void KeeperDeliveries::resultsMarked(const Marks& marks) {
    for (const auto& [player, game] : marks) {
        const auto found = results_.find(player);
        if (found == results_.end() || found->status != Status::Delivered || found->game != game)
            continue;
        if (found->whole)
            results_.erase(found);
        else
            found->marked = true; // its first draw still waits in the queue
    }
}

void KeeperDeliveries::firstDrawsMarked(const Marks& marks) {
    for (const auto& [player, game] : marks) {
        const auto found = firstDraws_.constFind(player);
        if (found != firstDraws_.cend() && found->status == Status::Delivered &&
            found->game == game)
            firstDraws_.erase(found);
    }
}

void KeeperDeliveries::connectionLost() {
    for (auto it = results_.begin(); it != results_.end();) {
        if (it->status == Status::Sent)
            it = results_.erase(it);
        else
            ++it;
    }
    for (Entry& entry : firstDraws_) {
        if (entry.status == Status::Sent)
            entry.status = Status::Lost;
    }
    probes_.clear();
    probedSeq_ = handedOverSeq_;
}

} // namespace jackwell::keeper

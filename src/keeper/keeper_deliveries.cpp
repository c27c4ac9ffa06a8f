#include "keeper/keeper_deliveries.h"

namespace jackwell::keeper {

KeeperDeliveries::Status KeeperDeliveries::status(const QString& player, qint64 game) const {
    const auto found = entries_.constFind(player);
    if (found == entries_.cend() || found->game != game)
        return Status::Unknown;
    return found->status;
}

void KeeperDeliveries::queued(const QString& player, qint64 game) {
    entries_.insert(player, Entry{game, Status::Queued, 0});
}

void KeeperDeliveries::handedOver(const QString& player, qint64 game) {
    Entry& entry = entries_[player];
    // An older result told again changes nothing: the newer one is what matters now, and its
    // mark covers every game before it.
    if (entry.game > game)
        return;
    entry = Entry{game, Status::Sent, ++handedOverSeq_};
}

void KeeperDeliveries::forget(const QString& player) {
    entries_.remove(player);
}

void KeeperDeliveries::probeSent() {
    probes_.push_back(handedOverSeq_);
    probedSeq_ = handedOverSeq_;
}

KeeperDeliveries::Marks KeeperDeliveries::probeAnswered() {
    Marks marks;
    if (probes_.empty())
        return marks;
    const quint64 covered = probes_.front();
    probes_.pop_front();
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->status == Status::Sent && it->seq <= covered) {
            marks.emplace_back(it.key(), it->game);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
    return marks;
}

void KeeperDeliveries::connectionLost() {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->status == Status::Sent)
            it = entries_.erase(it);
        else
            ++it;
    }
    probes_.clear();
    probedSeq_ = handedOverSeq_;
}

} // namespace jackwell::keeper

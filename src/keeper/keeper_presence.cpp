#include "keeper/keeper_presence.h"

namespace jackwell::keeper {

void KeeperPresence::markGone(const QString& player) {
    const quint64 mark = ++counter_;
    gone_.insert(player, mark);
    order_.emplace_back(player, mark);
    // Entries of names that came back or were marked again are skipped over on the way.
    while (qsizetype(order_.size()) > kMaxRemembered || gone_.size() > kMaxRemembered) {
        const auto [name, when] = order_.front();
        order_.pop_front();
        const auto found = gone_.constFind(name);
        if (found != gone_.cend() && *found == when)
            gone_.erase(found);
    }
}

void KeeperPresence::markHere(const QString& player) {
    gone_.remove(player);
}

void KeeperPresence::clear() {
    gone_.clear();
    order_.clear();
}

} // namespace jackwell::keeper

#pragma once

#include "machine/messages.h"

#include <QHash>
#include <QString>

namespace jackwell::keeper {

// Holds that a player's program sends again while it waits for their result. The copies the
// robot reads before the result is out are never played (they cannot answer a draw the player
// has not seen); but a copy sent just as the result went out crosses it on the way and reaches
// the robot after it, where it looks like an answer to the next first draw. Holds carry no game
// number, so such a copy is known by what is known of it: the same holds, from a player already
// seen to send them again, read within kCrossingMs of the result going out. A card never sends
// its holds twice, so its player is never taken for a copy; a program that was, and meant the
// same holds for the new draw, sends them again when no result comes, and they are played then.
class KeeperResentHolds {
public:
    // Longer than the way to the player and back takes, even on a busy server; shorter than
    // anyone takes to look at a new draw (a program that plays at once and resends its holds is
    // answered on its resend).
    static constexpr int kCrossingMs = 250;
    // Players followed at most; past that, all are forgotten (a copy is then played as before).
    static constexpr qsizetype kMostFollowed = 50000;

    // `holds` came from `player` at `nowMs`: true when they are a copy that crossed the result
    // of the same holds, and so must not be played.
    bool isCrossingCopy(const QString& player, machine::HoldMask holds, qint64 nowMs);
    // The result of the player's last holds went out whole at `nowMs`.
    void resultOut(const QString& player, qint64 nowMs);

private:
    struct Entry {
        machine::HoldMask holds{};
        bool sentAgain = false;  // read again before their result went out
        qint64 resultOutMs = -1; // when it went out (-1: not yet)
    };
    QHash<QString, Entry> entries_;
};

} // namespace jackwell::keeper

#pragma once

#include "load_player.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace jackwell::load {

// How the robot's books compare with what the players were told.
struct BooksCheck {
    int lost = 0;    // holds never answered, and results told that the books do not hold
    int doubled = 0; // games in the books no player asked for or was told of
    int unseen = 0;  // games booked on a first draw the player was never told
    bool balanced = false;
    QStringList faults;
};

// Reads the books (a file or a postgresql:// address) as the robots left them: the audit of every
// player (credits = free credits - games * cost + tokens / 50, game by game), each player's ledger
// against the results they took, in order, and their credits against their last result.
// Each player is held to the games it set out to play.
BooksCheck checkBooks(const QString& books, const std::vector<const LoadPlayer*>& players);

} // namespace jackwell::load

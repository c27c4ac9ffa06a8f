#pragma once

#include "books/keeper_books.h"

#include <functional>
#include <optional>

namespace jackwell::keeper {

// The robot's books as the engine sees them: each call goes to the books, and the game booked
// last is noted for the robot to log and to follow to its player. A change the books refuse is
// reported, unless it was refused only because another machine that shares the books changed
// the player meanwhile (a race: the message is answered again from the books as they are now).
class WatchedBooks : public machine::Books {
public:
    using Refused = std::function<void(const QString& player)>;

    // `books` must outlive this.
    WatchedBooks(books::KeeperBooks& books, Refused refused)
        : books_(books)
        , refused_(std::move(refused)) {}

    std::optional<machine::PlayerRecord> load(const QString& player) override;
    bool save(const QString& player, const machine::PlayerRecord& record) override;
    bool commitGame(const QString& player, const machine::GameOutcome& outcome,
                    const machine::PlayerRecord& after) override;

    // The number of the game booked since the last call, if one was.
    std::optional<qint64> takeBookedGame();
    const machine::GameOutcome& lastOutcome() const { return outcome_; }
    // Whether a change was refused since the last call only because of a race.
    bool takeRaced();

private:
    void refusedOrRaced(const QString& player);

    books::KeeperBooks& books_;
    Refused refused_;
    std::optional<qint64> booked_;
    machine::GameOutcome outcome_;
    bool raced_ = false;
};

} // namespace jackwell::keeper

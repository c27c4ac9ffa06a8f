#pragma once

#include "books/keeper_books.h"
#include "keeper/keeper_deliveries.h"
#include "keeper/watched_books.h"
#include "machine/machine_keeper.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace jackwell::keeper {

// What one message made of the books, worked out on the books' thread (see KeeperTurns) and
// told from the event loop once the books have it safe.
struct BooksTurn {
    quint64 number = 0;     // turns are numbered in the order their messages came
    quint64 toldBefore = 0; // the last turn told when this one's message came
    struct Told {
        std::vector<machine::Reply> replies;
        std::optional<qint64> bookedGame;
        qint64 drawGame = 0; // for a first draw told on its own: the game it is the draw of
        // A result told to a player who came back, without the first draw after it: the game
        // that draw is for (see TurnTeller::kWithheldDrawMs).
        qint64 withheldDraw = 0;
    };
    std::vector<Told> told; // in order
    QStringList notes;      // for the log
    std::optional<std::pair<machine::GameOutcome, qint64>> game;
    std::optional<QString> refusedWhy;
    bool failedForGood = false;
    bool toldAgain = false;
    // Holds not played because another machine was still telling the last result: they are
    // worked again shortly (see TurnTeller::kElsewhereRecheckMs).
    bool waitsElsewhere = false;
    // Holds worked again after waiting so (see KeeperTurns::mayPlayHolds).
    bool afterElsewhere = false;
    // No message: the player came back after leaving with something on its way to them, and is
    // told what they missed, if anything (see KeeperReturnWatch).
    bool returned = false;
    qint64 arrivedMs = 0; // when its message was read
};

// A first draw told on its own (the answer to "Register me!"), followed to its player.
bool isFirstDrawTold(const std::vector<machine::Reply>& replies);

// The robot's work on the books' thread: each message's turn, from the books and from what the
// event loop knew of the player's deliveries when it came. It lives and runs on that thread
// alone: BooksWorker owns it and hands it only to the work it runs there.
class KeeperTurns {
public:
    // How often a message is answered anew when another machine sharing the books changed its
    // player at the same moment, before the player is told the machine is out of order.
    static constexpr int kAttemptsOnRace = 3;

    // `books` must outlive this. `name` is the machinekeeper's, `seed` its draws'.
    KeeperTurns(books::KeeperBooks& books, const QString& name, quint64 seed);

    // Works `turn`: the player's message `text` (none for a player who came back), given what
    // the event loop knew of the player's deliveries when it came.
    void work(BooksTurn& turn, const QString& player, const QString& text,
              const KeeperDeliveries& known);

private:
    // What became of a player's last result when they wrote again.
    enum class LastResult { Known, ToldAgain, OnItsWay, OnItsWayElsewhere };

    KeeperDeliveries toldSoFar(const BooksTurn& turn, const QString& player,
                               const KeeperDeliveries& known);
    void noteTold(const BooksTurn& turn, const QString& player, KeeperDeliveries told);
    LastResult tellAgainIfUndelivered(BooksTurn& turn, const QString& player,
                                      const std::optional<books::Delivery>& delivery,
                                      const KeeperDeliveries& known);
    bool mayPlayHolds(BooksTurn& turn, const QString& player,
                      const std::optional<books::Delivery>& delivery,
                      const KeeperDeliveries& known);
    void refused();

    books::KeeperBooks& books_;
    BooksTurn* turn_ = nullptr; // the turn under way
    WatchedBooks watched_{books_, [this](const QString&) { refused(); }};
    machine::MachineKeeper keeper_;
    // What turns told players that the event loop has not taken up yet.
    QHash<QString, std::pair<quint64, KeeperDeliveries>> toldOnBooks_;
    // The game of the first draw last told to each player on its own (see mayPlayHolds).
    QHash<QString, qint64> drawToldOnItsOwn_;
    static constexpr qsizetype kDrawsRemembered = 100000;
};

} // namespace jackwell::keeper

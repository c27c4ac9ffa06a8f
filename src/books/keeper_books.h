#pragma once

#include "machine/books.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace jackwell::books {

struct Ledger;

// What books are opened for, and so how closely they are looked at first.
enum class BooksPurpose {
    Serve, // to take games: a quick check, and the books must take changes
    Audit, // to be read through: every check the store has; reading is enough
};

// How new books are made: on purpose, once (the robot's --init), or on a service's first start
// (--prepare), where books already there are left for the start to judge.
enum class BooksMaking {
    Always,
    FirstRun,
};

// What a player was last told, for a player whose last result may never have reached them.
struct Delivery {
    qint64 lastGame = 0;      // games booked for the player; the last one has this number
    qint64 deliveredGame = 0; // the last game whose result is known to have been passed on
    std::optional<machine::GameOutcome> lastOutcome;
    // The last game was booked by another machine moments ago, that machine still runs, and no
    // machine has yet been seen to deliver it: that machine may still be telling it. Only books
    // shared by several machines set this.
    bool onItsWayElsewhere = false;
    // The first draw now waiting was told on its own (the answer to "Register me!") and has not
    // been seen to reach the player: holds cannot be for it until it is told again.
    bool firstDrawUntold = false;
};

// The outcome of checking every player's books against the ledger.
struct BooksAudit {
    qint64 players = 0;
    qint64 games = 0;
    QStringList faults; // one line per fault found
    bool balanced() const { return faults.isEmpty(); }
};

// The books as the network robot keeps them. Beyond what the engine asks of any books (players
// and their games, see machine::Books), the robot needs to know how far each player's results
// are known to have reached them, to make a burst of changes durable at once, and to have the
// whole ledger checked. Any store that keeps these promises can serve the robot. Draws come back
// only as a machine makes them, every code a reel's symbol: a player whose waiting draw is not is
// not read at all, and a game whose draws are not comes back without its outcome.
class KeeperBooks : public machine::Books {
public:
    // The player's last game and how far results have been passed on. nullopt when the books
    // cannot be read.
    virtual std::optional<Delivery> delivery(const QString& player) = 0;
    // Records that each player's results up to the given game number have been passed on.
    // Marks never move back. They need not be durable at once: a mark lost only means a result
    // is told again.
    virtual bool markDelivered(const std::vector<std::pair<QString, qint64>>& marks) = 0;
    // Records that each player was told the first draw of the given game on its own. A mark
    // for a game no longer waiting changes nothing; like the marks above, a mark lost only
    // means the draw is told again.
    virtual bool markFirstDrawsTold(const std::vector<std::pair<QString, qint64>>& marks) = 0;

    // Runs `then` from the event loop once every change committed so far is safe on disk, with
    // false when that could not be made sure of. Whatever tells a player of a change waits for
    // it; the event loop does not.
    virtual void whenDurable(std::function<void(bool durable)> then) = 0;

    // Groups the changes that follow into one batch that commitBatch() makes durable at once.
    // Each change inside still succeeds or fails whole. Nothing of a batch is kept unless
    // commitBatch() returns true; a batch never committed (the program killed meanwhile) leaves
    // the books as they were before it.
    virtual bool beginBatch() = 0;
    virtual bool commitBatch() = 0;
    virtual void rollbackBatch() = 0;
    virtual bool inBatch() const = 0;

    // Checks every player: game numbers 1..n without a gap, each game starting from the
    // credits the last one (and any grant since) left, and credits == free credits granted -
    // games * cost + tokens won / 50. The same for every store: the rows readLedger() reads,
    // judged by auditLedger(); books that cannot be read are one fault.
    BooksAudit audit();
    // Every player, game and grant, read at one moment, into `ledger`; false (and lastError())
    // when the books cannot be read.
    virtual bool readLedger(Ledger& ledger) = 0;

    // True when the last save() or commitGame() was refused only because another machine
    // changed the same player after load() read them: read again, and the change may be made
    // anew. Never true for books that one robot keeps alone.
    virtual bool changedElsewhere() const { return false; }

    // True when the last save() or commitGame() failed without its outcome being known: its
    // commit went unanswered and the books could not be read back to see whether it was kept.
    // Neither its result nor that nothing was booked may then be told.
    virtual bool outcomeUnknown() const { return false; }

    // What the last failed call ran into, for the log.
    virtual QString lastError() const = 0;
    // True once the store can take no more changes at all (its file deleted or replaced under
    // it, say): the robot then stops rather than answer every player "out of order".
    virtual bool failedForGood() const = 0;

    // Cuts short a statement that has been waiting for the books too long (a server that stopped
    // answering, say): it fails as if the connection were lost. The one call that may come from
    // another thread than the one using the books.
    virtual void interruptStalled() {}
};

} // namespace jackwell::books

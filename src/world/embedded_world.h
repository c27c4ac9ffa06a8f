#pragma once

#include "machine/machine_keeper.h"
#include "machine/memory_books.h"
#include "world/chat_world.h"
#include "world/public_life.h"
#include "world/rivet_books.h"

#include <QString>

#include <deque>
#include <memory>
#include <optional>
#include <random>

namespace jackwell {

class Alarm;
class Clock;

namespace world {

struct EmbeddedWorldConfig {
    QString keeperName = QStringLiteral("Rivet");
    // The machinekeeper answers after a pause drawn from this range, as quick as a person who
    // knows the reply: a player clicking on at a normal pace reads the new draw. 0 <= min <= max.
    int replyDelayMinMs = 150;
    int replyDelayMaxMs = 400;
    bool publicLife = true;
    PublicLife::Pace lifePace;
    // The same seed gives the same draws, delays and chatter; none: a fresh one every run.
    std::optional<quint64> seed;
    // The file the machinekeeper keeps its books in, made on the first start (see RivetBooks);
    // empty: they are kept in memory and last as long as the world.
    QString booksPath;
};

// The chat world the program finds when no other is configured: a chat log with the
// machinekeeper robot in it and a few bystanders. The robot greets the world in public when
// it opens; private messages the player writes to it are answered privately, in order, each
// after a short delay. Replies still waiting when the world closes are dropped unread, and the
// robot books nothing for them. An answer is told only once what it tells of is safe in the
// books (on the disk, for books kept in a file); the world goes on meanwhile.
class EmbeddedWorld : public ChatWorld, public KeptGames {
public:
    EmbeddedWorld(Clock& clock, EmbeddedWorldConfig config = {});
    ~EmbeddedWorld() override;

    // The machinekeeper's books file is opened once the world is open, when first needed: by a
    // message to the machinekeeper, or by asking for the books or booksNotice(). What the player
    // must hear about it stands in the chat as a system line and in booksNotice().
    bool open(EventSink events) override;
    void close() override;
    // The bystanders hear the player and take up their chatter again.
    void sayInPublic(const QString& text) override;

    const EmbeddedWorldConfig& config() const { return config_; }
    machine::MachineKeeper& keeper() { return keeper_; }
    RivetBooks& rivetBooks() {
        openBooks();
        return books_;
    }
    // The books while they are kept in memory (no booksPath).
    machine::MemoryBooks& books() { return books_.memory(); }
    // What the player was told about the books when they were opened; empty when all was well.
    const QString& booksNotice() {
        openBooks();
        return booksNotice_;
    }
    // The player's games in the machinekeeper's books, for the statistics.
    KeptGames* keptGames() override { return this; }
    Reading readKeptGames() override;
    QString keptGamesNotice() override { return booksNotice(); }
    // Private messages to the machinekeeper not yet answered.
    qsizetype pendingMessages() const { return qsizetype(inbox_.size()); }

private:
    void openBooks();
    void onPrivateMessage(const QString& recipient, const QString& text);
    void scheduleReply();
    void answerNext();
    void tell(const std::vector<machine::Reply>& replies, bool durable);

    Clock& clock_;
    EmbeddedWorldConfig config_;
    std::mt19937_64 random_;
    RivetBooks books_;
    machine::MachineKeeper keeper_;
    std::unique_ptr<PublicLife> life_;
    std::deque<QString> inbox_; // texts for the machinekeeper, oldest first
    // Goes off when the oldest message is due for its answer; destroying it with the world
    // cancels an answer still due.
    std::unique_ptr<Alarm> replyAlarm_;
    bool greeted_ = false;
    bool booksOpened_ = false;
    bool awaitingDisk_ = false; // an answer waits for its books to be safe on the disk
    QString booksNotice_;
};

} // namespace world

// The embedded world with its default settings, the machinekeeper's books in `booksPath` (none:
// in memory): the chat library's own backend.
std::unique_ptr<ChatPort> makeEmbeddedWorld(Clock& clock, const QString& booksPath = {});

} // namespace jackwell

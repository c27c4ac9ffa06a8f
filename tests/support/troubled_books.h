#pragma once

#include "books/keeper_books.h"

#include <atomic>

namespace jackwell::books {

// The books, failing to commit a batch (its changes rolled back) while `failing`, as on a failing
// disk (or one whose fate they cannot tell, while `unknown`); while `elsewhere`, saying that each
// player's last result was booked by another machine, not yet seen to deliver it; while `racing`,
// refusing every save as made after another machine changed the player (counted in `raced`).
class TroubledBooks : public KeeperBooks {
public:
    explicit TroubledBooks(KeeperBooks& books)
        : books_(books) {}
    std::optional<machine::PlayerRecord> load(const QString& player) override {
        return books_.load(player);
    }
    bool save(const QString& player, const machine::PlayerRecord& record) override {
        if (!racing)
            return books_.save(player, record);
        ++raced;
        return false;
    }
    bool changedElsewhere() const override { return racing; }
    bool commitGame(const QString& player, const machine::GameOutcome& outcome,
                    const machine::PlayerRecord& after) override {
        return books_.commitGame(player, outcome, after);
    }
    std::optional<Delivery> delivery(const QString& player) override {
        std::optional<Delivery> found = books_.delivery(player);
        if (found && elsewhere && found->lastGame > 0) {
            found->deliveredGame = found->lastGame - 1;
            found->onItsWayElsewhere = true;
        }
        return found;
    }
    bool markDelivered(const std::vector<std::pair<QString, qint64>>& marks) override {
        return books_.markDelivered(marks);
    }
    bool markFirstDrawsTold(const std::vector<std::pair<QString, qint64>>& marks) override {
        return books_.markFirstDrawsTold(marks);
    }
    void whenDurable(std::function<void(bool durable)> then) override {
        books_.whenDurable(std::move(then));
    }
    bool beginBatch() override { return books_.beginBatch(); }
    bool commitBatch() override {
        if (!failing)
            return books_.commitBatch();
        books_.rollbackBatch();
        return false;
    }
    void rollbackBatch() override { books_.rollbackBatch(); }
    bool inBatch() const override { return books_.inBatch(); }
    bool readLedger(Ledger& ledger) override { return books_.readLedger(ledger); }
    QString lastError() const override { return failing ? "disk trouble" : books_.lastError(); }
    bool failedForGood() const override { return forGood; }
    void interruptStalled() override { ++interrupted; }
    bool outcomeUnknown() const override { return failing && unknown; }

    std::atomic<bool> failing = false;
    std::atomic<bool> unknown = false; // while failing: whether a commit was kept is not known
    std::atomic<bool> elsewhere = false;
    std::atomic<bool> racing = false;
    std::atomic<bool> forGood = false; // what failedForGood() says
    std::atomic<int> raced = 0;
    std::atomic<int> interrupted = 0;

private:
    KeeperBooks& books_;
};

} // namespace jackwell::books

// Several changes, of several players, in one transaction with one commit: while the server
// syncs one commit to its disk, the games that come meanwhile wait for the next one together
// instead of each for its own.
#include "books/postgres_books.h"

#include <QSqlError>

#include <utility>

namespace jackwell::books {

bool PostgresBooks::beginBatch() {
    readAlong_.reset();
    if (batch_ || !connected())
        return false; // each change then commits on its own
    batch_ = true;
    return true;
}

// The batch's transaction is begun with its first change, so that a batch that only reads costs
// no transaction at all.
bool PostgresBooks::changeInBatch(const std::function<Step()>& body, const LookUp& lookUp) {
    outcomeUnknown_ = false;
    if (batchFailed_)
        return fail(*batchFailed_);
    if (!batchBegun_) {
        if (!connected())
            return false;
        QSqlQuery query(db_);
        if (!query.exec(QStringLiteral("BEGIN"))) {
            failed(query.lastError());
            return false;
        }
        batchBegun_ = true;
    }
    if (body() == Step::Done) {
        if (lookUp)
            batchLookUps_.push_back(lookUp);
        return true;
    }
    if (batchFailed_)
        abandonBatch(); // the reads that follow in the batch go on outside it
    return false;
}

// A batch that failed is rolled back at once; its changes still answer as failed until it ends.
void PostgresBooks::abandonBatch() {
    if (!std::exchange(batchBegun_, false) || connectionLost_)
        return;
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("ROLLBACK")))
        failed(query.lastError());
}

bool PostgresBooks::commitBatch() {
    readAlong_.reset();
    const bool begun = std::exchange(batchBegun_, false);
    const std::optional<QString> failure = std::exchange(batchFailed_, std::nullopt);
    const std::vector<LookUp> lookUps = std::exchange(batchLookUps_, {});
    batch_ = false;
    outcomeUnknown_ = false;
    if (failure)
        return fail(*failure);
    if (!begun)
        return true;
    if (!inTransaction()) {
        rollback();
        return fail(QStringLiteral("the batch's transaction ended before its commit"));
    }
    QSqlQuery query(db_);
    if (query.exec(QStringLiteral("COMMIT")))
        return true;
    if (failed(query.lastError()) != Step::Lost || lookUps.empty())
        return false;
    // All of the batch was kept or none: one change found kept tells for all, and the batch was
    // not kept when none of them was.
    const LookUp batchLookUp = [&lookUps]() -> std::optional<bool> {
        bool known = true;
        for (const LookUp& lookUp : lookUps) {
            const std::optional<bool> kept = lookUp();
            if (kept == true)
                return true;
            known = known && kept.has_value();
        }
        return known ? std::optional<bool>(false) : std::nullopt;
    };
    return lookUpCommit(batchLookUp) == Step::Done;
}

void PostgresBooks::rollbackBatch() {
    readAlong_.reset();
    if (std::exchange(batchBegun_, false) && !connectionLost_)
        rollback();
    batchFailed_.reset();
    batchLookUps_.clear();
    batch_ = false;
}

} // namespace jackwell::books

// Books on a primary PostgreSQL server with a synchronous standby, both private ones on loopback:
// the primary is killed (SIGKILL, as when its machine dies) and the standby promoted; the books
// find the standby on their own through their address, with every change they were told made.
#include "books/postgres_books.h"

#include "clock/virtual_clock.h"
#include "support/book_entries.h"
#include "support/postgres_server.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace jackwell;
using namespace jackwell::books;
using namespace jackwell::machine;
using namespace jackwell::testing;

namespace {

TEST(PostgresFailover, APrimaryLostIsReplacedByItsPromotedStandby) {
    QString error;
    if (!PostgresServer::ensureInstalled(&error))
        GTEST_SKIP() << "PostgreSQL is not installed here: " << error;
    PostgresServer primary(PostgresServer::Options{false});
    PostgresServer standby(PostgresServer::Options{false});
    ASSERT_TRUE(primary.start(&error)) << error;
    ASSERT_TRUE(standby.startAsStandbyOf(primary, &error)) << error;
    PostgresAddress address;
    address.user = PostgresServer::kUser;
    address.host = PostgresServer::kHost;
    address.port = primary.port();
    address.database = PostgresServer::kUser;
    address.others = {{PostgresServer::kHost, standby.port()}};
    address.targetSessionAttrs = "read-write";
    qputenv("PGPASSWORD", PostgresServer::kPassword.toUtf8()); // as an operator gives it
    VirtualClock clock;
    ASSERT_TRUE(PostgresBooks::create(address, clock, &error)) << error;
    PostgresBooks::Options options;
    options.machine = "rivet@irc.test";
    auto books = PostgresBooks::open(address, clock, options, &error);
    ASSERT_TRUE(books) << error;
    ASSERT_TRUE(books->save("alice", registeredPlayer()));
    const auto [outcome, after] =
        nextGame(registeredPlayer(), {true, true, true}, {3, 3, 14}, {1, 2, 3});
    ASSERT_TRUE(books->commitGame("alice", outcome, after)) << books->lastError();

    primary.kill();
    ASSERT_TRUE(standby.promote(&error)) << error;
    // The call that finds the primary gone fails; the next, after its pause, the standby serves.
    std::optional<PlayerRecord> alice = books->load("alice");
    for (int tries = 0; !alice && tries < 5; ++tries) {
        clock.advance(PostgresBooks::kLastRetryMs);
        alice = books->load("alice");
    }
    ASSERT_TRUE(alice) << books->lastError();
    EXPECT_EQ(*alice, after);
    const auto [next, afterNext] = nextGame(after, {false, false, false}, {4, 1, 2}, {4, 5, 6});
    EXPECT_TRUE(books->commitGame("alice", next, afterNext)) << books->lastError();
    const BooksAudit audit = books->audit();
    EXPECT_TRUE(audit.balanced()) << audit.faults.join(u'\n');
}

} // namespace

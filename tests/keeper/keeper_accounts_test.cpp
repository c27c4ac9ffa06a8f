// Which services account a nickname holds, on a server that does not tag every message with it:
// what the channel and WHOIS say, across renames, and the messages that wait for WHOIS.
#include "keeper/keeper_accounts.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace jackwell;
using namespace jackwell::keeper;

namespace {

IrcMessage from(const QByteArray& nick, const QByteArray& text) {
    return *parseIrcLine(":" + nick + "!u@h PRIVMSG Rivet :" + text);
}

TEST(KeeperAccounts, FollowsWhatTheServerSays) {
    KeeperAccounts accounts;
    EXPECT_EQ(accounts.accountOf("alice"), std::nullopt) << "unknown: to be asked";
    accounts.learn("alice", "Alice");
    accounts.learn("bob", {});
    EXPECT_EQ(accounts.accountOf("alice"), "Alice");
    EXPECT_EQ(accounts.accountOf("bob"), QByteArray()) << "known to be logged out";

    accounts.renamed("alice", "alice_away");
    EXPECT_EQ(accounts.accountOf("alice"), std::nullopt);
    EXPECT_EQ(accounts.accountOf("alice_away"), "Alice");
    // Someone unknown taking a nickname the robot knew leaves nothing of the old holder.
    accounts.learn("carol", "carol");
    accounts.renamed("stranger", "carol");
    EXPECT_EQ(accounts.accountOf("carol"), std::nullopt);
    accounts.forget("alice_away");
    EXPECT_EQ(accounts.accountOf("alice_away"), std::nullopt);
}

TEST(KeeperAccounts, MessagesWaitForWhoisAskedOnce) {
    KeeperAccounts accounts;
    EXPECT_TRUE(accounts.wait("dave", from("dave", "Register me!")));
    EXPECT_FALSE(accounts.wait("dave", from("dave", "I hold 1,0,1"))) << "asked already";
    for (int i = 0; i < 10; ++i)
        accounts.wait("dave", from("dave", "more"));
    accounts.learn("dave", "dave");
    const std::vector<IrcMessage> waited = accounts.whoisEnded("dave");
    ASSERT_EQ(waited.size(), size_t(KeeperAccounts::kMostWaitingEach));
    EXPECT_EQ(waited[0].last(), "Register me!");
    EXPECT_EQ(waited[1].last(), "I hold 1,0,1");
    EXPECT_EQ(accounts.accountOf("dave"), "dave");

    // A WHOIS that named no account: logged out.
    EXPECT_TRUE(accounts.wait("erin", from("erin", "Register me!")));
    EXPECT_EQ(accounts.whoisEnded("erin").size(), 1u);
    EXPECT_EQ(accounts.accountOf("erin"), QByteArray());
    EXPECT_TRUE(accounts.whoisEnded("nobody").empty());
}

TEST(KeeperAccounts, AccountsAndNicknamesNeverShareBooks) {
    EXPECT_EQ(accountIdentity("Alice", CaseMapping::Ascii), "account:alice");
    EXPECT_EQ(accountIdentity("[A]", CaseMapping::Rfc1459), "account:{a}");
    // No nickname can be written with the ':' of an account's books.
    EXPECT_FALSE(isValidNickname("account:alice"));
}

} // namespace

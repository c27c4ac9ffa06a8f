// The chat transport and library: requests repeated or given up, text cleaned, waits resumed.

#include "support/card_rig.h"

namespace jackwell {
namespace {

using testing::ScriptedBackend;
using Rig = testing::CardRig<ScriptedBackend>;

// Per status: the library's text, and a message's tries and registrations; no status: text stands.
TEST(ChatTransport, retryRuleFollowsTheStatus) {
    using S = ChatStatus;
    const struct {
        const char* name;
        const char* text; // what the transport reads after the first try
        std::deque<std::optional<ChatStatus>> statuses;
        int tries;
        int registrations = 0;
        bool givenUp = false; // the transport says it gave the request up
    } rows[] = {
        {"no status or empty text is done", "", {std::nullopt}, 1},
        {"done", "0", {S::Done}, 1},
        {"failed is not repeated", "-1", {S::GivenUp}, 1, 0, true},
        {"busy repeats", "6", {S::Busy, S::Busy, S::Done}, 3},
        {"unknown text repeats", "42", {std::nullopt, S::Done}, 2},
        {"unregistered: registers", "10", {S::NotRegistered, S::NotRegistered, S::Done}, 3, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        std::vector<ChatTransport::GivenUp> givenUp;
        rig.chat.setGivenUpHandler([&](const auto& request) { givenUp.push_back(request); });
        rig.backend->statuses = row.statuses;
        if (!row.statuses.front())
            rig.chat.onStatus(row.text);
        rig.chat.sendPrivateMessage("Rivet", "I hold 1,0,1");
        EXPECT_EQ(rig.chat.lastStatus(), row.text);
        rig.clock.advance(5000);
        EXPECT_EQ(rig.backend->count("send"), row.tries);
        EXPECT_EQ(rig.backend->count("register"), row.registrations);
        EXPECT_EQ(rig.chat.pendingRequests(), 0);
        ASSERT_EQ(givenUp.size(), row.givenUp ? 1u : 0u);
        if (row.givenUp) {
            EXPECT_FALSE(givenUp[0].readText || givenUp[0].timedOut);
            EXPECT_EQ(givenUp[0].recipient + ": " + givenUp[0].message, "Rivet: I hold 1,0,1");
        }
        const ScriptedBackend::Call& call = rig.backend->calls.back();
        EXPECT_EQ(call.what + " to " + call.recipient + ": " + call.message,
                  "send to Rivet: I hold 1,0,1");
    }
}

// The library refuses request codes other than the private message's, and hands the chat text
// over after the call, as the log's lines with four filler characters and a NUL behind them.
TEST(ChatLibrary, refusesOtherRequestsAndHandsTheTextOverWithItsEnding) {
    VirtualClock clock;
    ChatLibrary library(clock, [] { return std::make_unique<ScriptedBackend>(); });
    QByteArray status, delivered;
    library.InitDDE(
        "Jackwell", [&](const QByteArray& text) { status = text; }, {},
        [&](const DeliveredText& text) {
            delivered = text.lines.toByteArray() + text.ending.toByteArray();
        });
    library.DapiCommunicate("Jackwell", 3, "Rivet", "hi");
    EXPECT_EQ(status, "-1");
    library.DapiGetAllText("Jackwell");
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_EQ(clock.nextDueIn(), 0) << "the event loop's next turn, not a millisecond later";
    clock.settle();
    EXPECT_EQ(delivered, QByteArray("line one\r\nline two    ") + '\0');
    const int closes = ScriptedBackend::closes; // one that goes unclosed closes its link (QUIT)
    std::make_unique<ChatLibrary>(clock, [] {
        return std::make_unique<ScriptedBackend>();
    })->InitDDE("Jackwell", {}, {}, {});
    EXPECT_EQ(ScriptedBackend::closes, closes + 1);
}

TEST(ChatTransport, repetitionsWaitOnTheEventLoopKeepTheOrderAndGiveUpAfterTheBound) {
    Rig rig;
    std::vector<ChatTransport::GivenUp> givenUp;
    rig.chat.setGivenUpHandler([&](const auto& request) { givenUp.push_back(request); });
    rig.backend->otherwise = ChatStatus::Busy;
    rig.clock.advance(60000); // the bound counts from the first try, not from the clock's start
    rig.chat.sendPrivateMessage("Rivet", "Register me!");
    // The call returns after one try; the repetitions come later from the clock.
    EXPECT_EQ(rig.backend->count("send"), 1);
    EXPECT_EQ(rig.chat.pendingRequests(), 1);
    // Pauses of 10, 20, 40 ... 320 ms, then of 500 ms: the 24th try goes at 9130 ms.
    rig.clock.advance(9129);
    EXPECT_EQ(rig.backend->count("send"), 23);
    rig.clock.advance(1);
    EXPECT_EQ(rig.backend->count("send"), 24);
    EXPECT_TRUE(givenUp.empty());
    rig.clock.advance(1870);
    EXPECT_EQ(rig.chat.pendingRequests(), 0);
    const int final = rig.backend->count("send");
    rig.clock.advance(60000);
    EXPECT_EQ(rig.backend->count("send"), final);
    // The message never left, and the transport says so once.
    ASSERT_EQ(givenUp.size(), 1u);
    EXPECT_TRUE(givenUp[0].timedOut && !givenUp[0].readText);
    EXPECT_EQ(givenUp[0].message, "Register me!");

    rig.chat.readAllChatText(); // a request for the chat text is told of the same way
    rig.clock.advance(ChatTransport::kRetryBoundMs + 1000);
    ASSERT_EQ(givenUp.size(), 2u);
    EXPECT_TRUE(givenUp[1].timedOut && givenUp[1].readText);
    rig.chat.sendPrivateMessage("Rivet", "gone");
    ASSERT_EQ(rig.chat.pendingRequests(), 1) << "still busy";
    rig.chat.close(); // what waits to go when the link closes is dropped
    EXPECT_EQ(rig.chat.pendingRequests(), 0);

    Rig ordered; // requests behind a repetition keep their order
    ordered.backend->statuses = {ChatStatus::Busy, ChatStatus::Busy, ChatStatus::Done,
                                 ChatStatus::Done};
    ordered.chat.sendPrivateMessage("Rivet", "first");
    ordered.chat.sendPrivateMessage("Rivet", "second");
    EXPECT_EQ(ordered.backend->count("send"), 1); // the second waits its turn
    ordered.clock.advance(1000);
    QStringList sent;
    for (const auto& call : ordered.backend->calls)
        sent << call.message;
    EXPECT_EQ(sent, (QStringList{"first", "first", "first", "second"}));
}

TEST(ChatTransport, onTextCleansTheDeliveredText) {
    const std::tuple<const char*, QByteArray, QString> rows[] = {
        {"five letters then NUL keep one", QByteArray("abcde") + '\0', "a"},
        {"four letters then NUL stay whole", QByteArray("abcd") + '\0',
         QString("abcd") + QChar(u'\0')},
        {"everything behind the NUL goes", QByteArray("hello world") + '\0' + "tail", "hello w"},
        {"trailing line breaks go", "one\r\ntwo\r\n\r\n", "one\r\ntwo"},
        {"only line breaks leave nothing", "\r\n\r\n", ""},
        {"a lone LF stays", "one\n", "one\n"},
        {"UTF-8 is widened", "Grüße", QString::fromUtf8("Grüße")},
    };
    for (const auto& [name, delivered, stored] : rows)
        EXPECT_EQ(ChatTransport::cleanChatText(delivered), stored) << name;
}

// A wait resumes once, on the first text that is not empty, and never for an owner that is gone.
TEST(ChatTransport, fetchResumesOnceANonEmptyTextArrivesWhileItsOwnerLives) {
    Rig rig;
    QObject owner;
    int resumed = 0, orphaned = 0;
    rig.backend->setLines({"", "", ""});
    rig.chat.setChatText("old");
    rig.chat.fetchChatText(&owner, [&] { ++resumed; });
    EXPECT_EQ(rig.chat.chatText(), "");
    EXPECT_EQ(resumed, 0); // never inside the call that asked
    rig.clock.settle();
    EXPECT_EQ(resumed, 0); // an empty text keeps the wait going
    rig.backend->setLines({"Rivet: hello"});
    {
        QObject gone;
        rig.chat.fetchChatText(&gone, [&] { ++orphaned; });
    }
    rig.clock.settle();
    EXPECT_EQ(std::pair(resumed, orphaned), std::pair(1, 0));
    EXPECT_EQ(rig.chat.chatText(), "Rivet: hello");
    rig.chat.readAllChatText();
    rig.clock.settle();
    EXPECT_EQ(resumed, 1); // a waiter resumes once
}

} // namespace
} // namespace jackwell

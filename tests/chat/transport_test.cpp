// The chat transport: how requests are repeated or given up, how the delivered
// chat text is cleaned, and how the waits resume.

#include "support/card_rig.h"

namespace jackwell {
namespace {

using testing::ScriptedBackend;
using Rig = testing::CardRig<ScriptedBackend>;

TEST(ChatTransport, firstRequestBeforeAnyStatusFinishesAfterOneCall) {
    Rig rig;
    rig.backend->otherwise = std::nullopt; // the library never reports a status
    rig.chat.SendPrivateMessage("Rivet", "Register me!");
    EXPECT_EQ(rig.backend->count("communicate"), 1);
    EXPECT_EQ(rig.chat.pendingRequests(), 0);
    ASSERT_EQ(rig.backend->calls.size(), 1u);
    EXPECT_EQ(rig.backend->calls[0].code, 2);
    EXPECT_EQ(rig.backend->calls[0].recipient, "Rivet");
    EXPECT_EQ(rig.backend->calls[0].message, "Register me!");
}

// One row per status: how many tries, registrations and whether it ends at once.
TEST(ChatTransport, retryRuleFollowsTheStatus) {
    struct Row {
        const char* name;
        std::deque<std::optional<QByteArray>> statuses;
        int tries;
        int registrations;
    };
    const std::vector<Row> rows = {
        {"done", {QByteArray("0")}, 1, 0},
        {"empty text is done", {QByteArray("")}, 1, 0},
        {"failed is not repeated", {QByteArray("-1")}, 1, 0},
        {"busy repeats", {QByteArray("6"), QByteArray("6"), QByteArray("0")}, 3, 0},
        {"unknown text repeats", {QByteArray("42"), QByteArray("0")}, 2, 0},
        {"not registered registers before each repetition",
         {QByteArray("10"), QByteArray("10"), QByteArray("0")},
         3,
         2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.backend->statuses = row.statuses;
        rig.chat.SendPrivateMessage("Rivet", "I hold 1,0,1");
        rig.clock.advance(5000);
        EXPECT_EQ(rig.backend->count("communicate"), row.tries);
        EXPECT_EQ(rig.backend->count("register"), row.registrations);
        EXPECT_EQ(rig.chat.pendingRequests(), 0);
    }
}

TEST(ChatTransport, repetitionsWaitOnTheEventLoopAndGiveUpAfterTheBound) {
    Rig rig;
    rig.backend->otherwise = QByteArray("6");
    rig.chat.SendPrivateMessage("Rivet", "Register me!");
    // The call returns after one try; the repetitions come later from the clock.
    EXPECT_EQ(rig.backend->count("communicate"), 1);
    EXPECT_EQ(rig.chat.pendingRequests(), 1);
    rig.clock.advance(ChatTransport::kRetryBoundMs - 1000);
    const int triesSoFar = rig.backend->count("communicate");
    EXPECT_GT(triesSoFar, 5);
    EXPECT_LT(triesSoFar, 60); // growing pauses, not a busy loop
    rig.clock.advance(2000);
    EXPECT_EQ(rig.chat.pendingRequests(), 0);
    const int final = rig.backend->count("communicate");
    rig.clock.advance(60000);
    EXPECT_EQ(rig.backend->count("communicate"), final);
}

TEST(ChatTransport, requestsKeepTheirOrderBehindARepetition) {
    Rig rig;
    rig.backend->statuses = {QByteArray("6"), QByteArray("6"), QByteArray("0"), QByteArray("0")};
    rig.chat.SendPrivateMessage("Rivet", "first");
    rig.chat.SendPrivateMessage("Rivet", "second");
    EXPECT_EQ(rig.backend->count("communicate"), 1); // the second waits its turn
    rig.clock.advance(1000);
    std::vector<QByteArray> sent;
    for (const auto& call : rig.backend->calls)
        sent.push_back(call.message);
    EXPECT_EQ(sent, (std::vector<QByteArray>{"first", "first", "first", "second"}));
}

TEST(ChatTransport, onTextCleansTheDeliveredText) {
    struct Row {
        const char* name;
        QByteArray delivered;
        QString stored;
    };
    const std::vector<Row> rows = {
        {"eight letters then NUL keep four", QByteArray("abcdefgh") + '\0', "abcd"},
        {"three letters then NUL stay whole", QByteArray("abc") + '\0',
         QString("abc") + QChar(u'\0')},
        {"everything behind the NUL goes", QByteArray("hello world") + '\0' + "tail", "hello w"},
        {"trailing line breaks go", "one\r\ntwo\r\n\r\n", "one\r\ntwo"},
        {"only line breaks leave nothing", "\r\n\r\n", ""},
        {"a lone LF stays", "one\n", "one\n"},
        {"UTF-8 is widened",
         "Gr\xc3\xbc\xc3\x9f"
         "e",
         QString::fromUtf8("Grüße")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ChatTransport::cleanChatText(row.delivered), row.stored);
    }
}

TEST(ChatTransport, fetchResumesOnlyOnceANonEmptyTextArrives) {
    Rig rig;
    QObject owner;
    int resumed = 0;
    rig.backend->text = QByteArray("\r\n\r\n");
    rig.chat.setChatText("old");
    rig.chat.fetchChatText(&owner, [&] { ++resumed; });
    EXPECT_EQ(rig.chat.chatText(), "");
    EXPECT_EQ(resumed, 0); // never inside the call that asked
    rig.clock.settle();
    EXPECT_EQ(resumed, 0); // an empty text keeps the wait going
    rig.backend->text = QByteArray("Rivet: hello") + "    " + '\0';
    rig.chat.ReadAllChatText();
    rig.clock.settle();
    EXPECT_EQ(resumed, 1);
    EXPECT_EQ(rig.chat.chatText(), "Rivet: hello");
    rig.chat.ReadAllChatText();
    rig.clock.settle();
    EXPECT_EQ(resumed, 1); // a waiter resumes once
}

TEST(ChatTransport, aWaitWhoseOwnerIsGoneNeverResumes) {
    Rig rig;
    int resumed = 0;
    {
        QObject owner;
        rig.chat.fetchChatText(&owner, [&] { ++resumed; });
    }
    rig.clock.settle();
    EXPECT_EQ(resumed, 0);
    EXPECT_FALSE(rig.chat.chatText().isEmpty());
}

TEST(ChatTransport, pauseOfZeroOrLessContinuesAtOnce) {
    Rig rig;
    QObject owner;
    int resumed = 0;
    rig.chat.Pause(0, &owner, [&] { ++resumed; });
    rig.chat.Pause(-3, &owner, [&] { ++resumed; });
    EXPECT_EQ(resumed, 2);
}

TEST(ChatTransport, pauseEndsOnTimeAcrossMidnight) {
    VirtualClock clock(86400.0 - 2.0); // two seconds before midnight
    ChatLibrary library(clock, [] { return std::make_unique<ScriptedBackend>(); });
    ChatTransport transport(library, clock, "Jackwell");
    QObject owner;
    bool resumed = false;
    transport.Pause(7, &owner, [&] { resumed = true; });
    clock.advance(6999);
    EXPECT_FALSE(resumed);
    EXPECT_LT(clock.timeOfDay(), 10.0); // the day has turned
    clock.advance(1);
    EXPECT_TRUE(resumed);
}

TEST(ChatLibrary, initFailsWhenTheChatWorldCannotBeReached) {
    VirtualClock clock;
    ChatLibrary none(clock, [] { return std::unique_ptr<ChatBackend>(); });
    EXPECT_NE(none.InitDDE("Jackwell", {}, {}, {}), 0);
    ChatLibrary refused(clock, [] {
        auto backend = std::make_unique<ScriptedBackend>();
        backend->openResult = false;
        return backend;
    });
    EXPECT_NE(refused.InitDDE("Jackwell", {}, {}, {}), 0);
    EXPECT_EQ(refused.backend(), nullptr);
}

} // namespace
} // namespace jackwell

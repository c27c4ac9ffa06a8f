// One connection's life against a server the test scripts line by line, in virtual time: what it
// sends to register, the nicknames it falls back to, the server's limits it takes up, its pings,
// what it says when turned down, and the pauses between its attempts to connect again.
#include "irc/irc_connection.h"
#include "irc/irc_message.h"

#include "clock/virtual_clock.h"
#include "support/qt_printers.h"
#include "support/scripted_irc_server.h"

#include <gtest/gtest.h>

namespace jackwell {
namespace {

using namespace testing;

struct IrcConnectionTest : ::testing::Test {
    VirtualClock clock;
    ScriptedIrcServer server;
    QList<QByteArray> commands; // of the messages handed on
    QStringList lost, notes, refused;
    std::unique_ptr<IrcConnection> connection;

    void SetUp() override { ASSERT_TRUE(server.listen(0)); }
    void open(quint16 port, QByteArray password = {}, IrcConfig::Sasl sasl = {}) {
        IrcConfig config;
        config.server = "127.0.0.1";
        config.port = port;
        config.nick = "alice";
        config.channel = "#casino";
        config.password = std::move(password);
        config.sasl = sasl;
        config.saslAccount = config.saslPassword = "alice";
        IrcConnection::Handlers handlers;
        handlers.message = [this](const IrcMessage& m) { commands << m.command; };
        handlers.lost = [this](const QString& reason) { lost << reason; };
        handlers.note = [this](const QString& text) { notes << text; };
        handlers.refused = [this](const QString& reason) { refused << reason; };
        connection = std::make_unique<IrcConnection>(clock, config, handlers);
        connection->reconnectNow();
    }
    bool offline() {
        return waitUntil([&] { return connection->state() == IrcConnection::State::Offline; });
    }
    // What the server hears afresh from the attempt `ms` from now, until `line` comes.
    bool attemptAfter(int ms, const QByteArray& line = "NICK alice") {
        server.received.clear();
        clock.advance(ms);
        return server.waitForLine(line);
    }
    // Connected and registered as `nick`, capabilities negotiated with none taken.
    void registerAs(const QByteArray& nick) {
        open(server.listener.serverPort());
        ASSERT_TRUE(server.waitForLine("USER jackwell 0 * :Jackwell player"));
        server.send(":s CAP * LS :multi-prefix\r\n:s 001 " + nick + " :Welcome to the network\r\n");
        ASSERT_TRUE(server.waitForLine("JOIN #casino"));
    }
};

TEST_F(IrcConnectionTest, registersFallingBackToOtherNicknamesAndTakesUpTheServersLimits) {
    open(server.listener.serverPort(), "letmein");
    ASSERT_TRUE(server.waitForLine("USER jackwell 0 * :Jackwell player"));
    EXPECT_EQ(server.received, (QList<QByteArray>{"CAP LS 302", "PASS :letmein", "NICK alice",
                                                  "USER jackwell 0 * :Jackwell player"}));
    EXPECT_EQ(connection->nextAttemptInMs(), 0);
    server.send(":s CAP * LS :account-tag multi-prefix\r\n:s CAP * ACK :account-tag\r\n"
                ":s 433 * alice :in use\r\n:s 436 * alice_ :taken\r\n"
                ":s 005 * NICKLEN=4 CASEMAPPING=ascii WHOX :are supported\r\n"
                ":s 437 * alice1 :held\r\n");
    ASSERT_TRUE(server.waitForLine("NICK ali2"));
    EXPECT_EQ(server.received.mid(4),
              (QList<QByteArray>{"CAP REQ :account-tag", "CAP END", "NICK alice_", "NICK alice1",
                                 "NICK ali2"}));
    EXPECT_EQ(connection->nickLength(), 4);
    EXPECT_EQ(connection->isupport("CASEMAPPING"), "ascii");
    EXPECT_EQ(connection->isupport("WHOX"), "");
    EXPECT_EQ(connection->isupport("NICKLEN=4"), std::nullopt);
    EXPECT_EQ(connection->isupport("are supported"), std::nullopt);

    server.send(":s 001 ali2 :Welcome\r\n:s 900 ali2 ali2!u@h alice :You are now logged in\r\n"
                "PING :t0k3n\r\n:ali2!u@h NICK :Bob\r\n:carol!u@h NICK :Dave\r\n"
                ":s 005 Bob NICKLEN=999 :are supported\r\n:s 005 Bob NICKLEN=x :ok\r\n");
    ASSERT_TRUE(server.waitForLine("PONG :t0k3n"));
    EXPECT_TRUE(server.received.contains("JOIN #casino") && connection->isRegistered());
    EXPECT_EQ(connection->findChild<QTcpSocket*>()->socketOption(QTcpSocket::LowDelayOption), 1)
        << "each line leaves at once, never held for the one before it";
    EXPECT_EQ(connection->account() + ' ' + connection->nick(), "alice Bob");
    EXPECT_EQ(std::pair(connection->offlineSinceMs(), connection->nextAttemptInMs()),
              std::pair(-1LL, -1LL));
    EXPECT_EQ(connection->nickLength(), 200) << "no longer than the program takes";
    EXPECT_TRUE(connection->hasCapability("account-tag") &&
                connection->offersCapability("WHOX") == connection->hasCapability("multi-prefix"));
    EXPECT_TRUE(connection->offersCapability("multi-prefix"));
    EXPECT_EQ(notes.count("capabilities: account-tag"), 1) << notes.join('\n');
    EXPECT_EQ(commands, (QList<QByteArray>{"CAP", "CAP", "433", "436", "005", "437", "001", "900",
                                           "NICK", "NICK", "005", "005"}));
    server.send(":s 005 Bob NICKLEN=1 :are supported\r\nPING :t1\r\n"); // however short
    ASSERT_TRUE(server.waitForLine("PONG :t1"));
    EXPECT_EQ(connection->nickLength(), 1);

    server.client->disconnectFromHost(); // a new connection knows nothing of the old one
    ASSERT_TRUE(offline());
    EXPECT_EQ(lost, QStringList{"The remote host closed the connection"});
    ASSERT_TRUE(attemptAfter(IrcConnection::kFirstRetryMs));
    EXPECT_EQ(connection->account() + ' ' + connection->nick(), " alice");
    EXPECT_EQ(connection->isupport("CASEMAPPING"), std::nullopt);
    EXPECT_FALSE(connection->hasCapability("account-tag") ||
                 connection->offersCapability("multi-prefix"));
}

TEST_F(IrcConnectionTest, abandoningGoesWithoutAWordAndForGood) {
    registerAs("alicia");
    EXPECT_EQ(connection->nick(), "alicia") << "the name the server welcomed";
    connection->abandon();
    EXPECT_EQ(connection->state(), IrcConnection::State::Offline);
    ASSERT_TRUE(
        waitUntil([&] { return server.client->state() == QAbstractSocket::UnconnectedState; }));
    clock.advance(IrcConnection::kIdleBeforePingMs + IrcConnection::kPingAnswerMs);
    connection->reconnectNow();
    EXPECT_EQ(connection->nextAttemptInMs(), -1);
    EXPECT_TRUE(lost.isEmpty() && !server.received.contains("QUIT :Jackwell closed"));
}

TEST_F(IrcConnectionTest, dropsAnUnwelcomedAttemptAndGivesUpNicknamesRefusedOrAllTaken) {
    open(server.listener.serverPort());
    ASSERT_TRUE(server.waitForLine("NICK alice"));
    QTcpSocket* const attempt = server.client;
    clock.advance(10'000 - 1);  // ten seconds for the welcome
    connection->reconnectNow(); // asked for meanwhile: the attempt under way goes on
    testing::runEventsFor(100);
    EXPECT_EQ(connection->state(), IrcConnection::State::Registering);
    EXPECT_EQ(server.client, attempt);
    clock.advance(1);
    EXPECT_EQ(notes.last(), "connecting again in 1 s (no welcome from the server within 10 s)");
    ASSERT_TRUE(attemptAfter(IrcConnection::kFirstRetryMs));
    server.send(":s 432 * alice :Erroneous nickname\r\n");
    ASSERT_TRUE(offline());
    EXPECT_EQ(notes.last(), "connecting again in 2 s (the server refuses the nickname alice)");

    ASSERT_TRUE(
        attemptAfter(2 * IrcConnection::kFirstRetryMs, "USER jackwell 0 * :Jackwell player"));
    for (int taken = 0; taken <= 10; ++taken) // alice, then ten more
        server.send(":s 433 * x :in use\r\n");
    ASSERT_TRUE(offline());
    EXPECT_EQ(notes.last(), "connecting again in 4 s (no free nickname after 10 tries)");
    // An attempt brought forward takes the planned one's place.
    clock.advance(1000);
    server.received.clear();
    connection->reconnectNow();
    ASSERT_TRUE(server.waitForLine("NICK alice"));
    server.send(":s CAP * LS :x\r\n:s 001 alice :Welcome\r\n");
    ASSERT_TRUE(waitUntil([&] { return connection->isRegistered(); }));
    clock.advance(4 * IrcConnection::kFirstRetryMs);
    EXPECT_TRUE(connection->isRegistered());
    EXPECT_TRUE(lost.isEmpty()) << "never registered, so nothing was lost";
    server.client->disconnectFromHost();
    ASSERT_TRUE(offline());
    EXPECT_EQ(connection->nextAttemptInMs(), 1000) << "once welcomed, the pauses start again";
    const auto socketsLeft = [&] { return connection->findChildren<QAbstractSocket*>().size(); };
    EXPECT_TRUE(waitUntil([&] { return socketsLeft() == 0; })) << "given-up sockets go";
}

TEST_F(IrcConnectionTest, pingsAQuietServerAndLeavesOneThatStaysSilent) {
    registerAs("alice");
    clock.advance(120'000 - 1);                   // two minutes
    server.send(":s NOTICE alice :still here\r"); // the line's last byte comes on its own
    runEventsFor(100);
    server.send("\n");
    ASSERT_TRUE(waitUntil([&] { return commands.contains("NOTICE"); }));
    clock.advance(120'000 - 1); // counted from the notice
    EXPECT_FALSE(server.received.contains("PING :jackwell"));
    clock.advance(1);
    ASSERT_TRUE(server.waitForLine("PING :jackwell"));
    clock.advance(60'000 - 1); // a minute for the answer
    EXPECT_TRUE(connection->isRegistered());
    clock.advance(1);
    EXPECT_EQ(lost, QStringList{"the server stopped answering"});
    EXPECT_EQ(connection->nextAttemptInMs(), IrcConnection::kFirstRetryMs);
    EXPECT_EQ(connection->offlineSinceMs(), clock.monotonicMs());
}

TEST_F(IrcConnectionTest, tellsWhatTheServerSaidWhenItClosesAndQuitsPolitely) {
    open(server.listener.serverPort(), "wrong");
    ASSERT_TRUE(server.waitForLine("NICK alice"));
    server.send(":s 464 alice :Password  incorrect\r\nERROR :Closing link\r\n");
    ASSERT_TRUE(waitUntil([&] { return commands.contains("ERROR"); }));
    EXPECT_EQ(connection->serverRefusal(), "Password incorrect (464); Closing link");
    server.client->disconnectFromHost();
    ASSERT_TRUE(offline());
    EXPECT_EQ(notes.last(), "connecting again in 1 s (the server closed the connection: "
                            "Password incorrect (464); Closing link)");

    ASSERT_TRUE(attemptAfter(IrcConnection::kFirstRetryMs));
    EXPECT_EQ(connection->serverRefusal(), "") << "a new attempt starts afresh";
    server.send(":s NOTICE * :ERROR is no command here\r\n:s CAP * LS :multi-prefix\r\n"
                ":s 001 alice :Welcome\r\n:s 464 alice :not while registered\r\nERROR :" +
                QByteArray(300, 'x') + "\r\n");
    ASSERT_TRUE(waitUntil([&] { return commands.count("ERROR") == 2; }));
    EXPECT_EQ(connection->serverRefusal(), QString(200, 'x'));
    connection->close();
    ASSERT_TRUE(server.waitForLine("QUIT :Jackwell closed"));
    connection->reconnectNow(); // closed for good
    EXPECT_EQ(connection->state(), IrcConnection::State::Offline);
    EXPECT_EQ(connection->nextAttemptInMs(), -1);
    EXPECT_TRUE(lost.isEmpty()) << "closing is no loss";
}

TEST_F(IrcConnectionTest, waitsLongerAfterEachFailureUpToHalfAMinute) {
    const quint16 closedPort = server.listener.serverPort();
    server.listener.close();
    open(closedPort);
    for (const int pause : {1000, 2000, 4000, 8000, 16000, 30000, 30000}) {
        ASSERT_TRUE(offline());
        EXPECT_EQ(connection->nextAttemptInMs(), pause);
        connection->reconnectNow(); // too soon after the last attempt: no extra one
        EXPECT_EQ(connection->state(), IrcConnection::State::Offline);
        clock.advance(pause - 1);
        EXPECT_EQ(connection->state(), IrcConnection::State::Offline);
        clock.advance(1);
        EXPECT_EQ(connection->nextAttemptInMs(), 0);
    }
    ASSERT_TRUE(offline());
    clock.advance(999);
    connection->reconnectNow(); // too soon
    EXPECT_EQ(connection->nextAttemptInMs(), 29'001);
    clock.advance(1);
    connection->reconnectNow();
    EXPECT_EQ(connection->nextAttemptInMs(), 0) << "an attempt a second after the last";
    EXPECT_EQ(connection->offlineSinceMs(), 0) << "offline since it was made, at 0";
    ASSERT_TRUE(offline());
    connection->close(); // offline, with no socket to say goodbye on: no more attempts
    clock.advance(IrcConnection::kLongestRetryMs);
    EXPECT_EQ(connection->nextAttemptInMs(), -1);

    QStringList notes; // nor said to be
    IrcConnection::Handlers noted;
    noted.note = [&](const QString& note) { notes << note; };
    IrcConnection once(clock, connection->config(), noted);
    QString error;
    EXPECT_FALSE(once.openBlocking(&error));
    EXPECT_EQ(error, "Connection refused");
    EXPECT_TRUE(notes.filter("again").isEmpty()) << notes.join('\n').toStdString();
    clock.advance(IrcConnection::kShortestAttemptGapMs);
    once.reconnectNow();
    EXPECT_EQ(once.nextAttemptInMs(), -1) << "a start that failed is not tried again";
}

TEST_F(IrcConnectionTest, aLoginTheServerCannotTakeEndsTheConnectionForGood) {
    open(server.listener.serverPort(), {}, IrcConfig::Sasl::Plain);
    ASSERT_TRUE(server.waitForLine("CAP LS 302"));
    server.send(QByteArray(":s CAP * LS * :a\r\n").repeated(17)); // fails this attempt alone
    ASSERT_TRUE(offline());
    clock.advance(IrcConnection::kFirstRetryMs);
    ASSERT_TRUE(waitUntil([&] { return server.received.count("CAP LS 302") == 2; }));
    server.send(":s CAP * LS :account-tag\r\n:s CAP * ACK :account-tag\r\n");
    ASSERT_TRUE(waitUntil([&] { return !refused.isEmpty(); }));
    EXPECT_TRUE(connection->loginRefused() && connection->state() == IrcConnection::State::Offline);
    clock.advance(IrcConnection::kLongestRetryMs);
    connection->reconnectNow();
    EXPECT_EQ(connection->nextAttemptInMs(), -1);
    EXPECT_EQ(refused.size(), 1);
}

} // namespace
} // namespace jackwell

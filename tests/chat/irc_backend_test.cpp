// The IRC backend against a real server (ngircd on loopback): registration, messages both ways
// and in the channel, long messages, pacing, unreachable servers, TLS and a long outage; and
// against a scripted server: garbage, a greeting and a lost connection (a restart: irc_game_test).

#include "chat/irc_backend.h"
#include "clock/real_clock.h"
#include "clock/virtual_clock.h"
#include "irc/irc_connection.h"
#include "irc/irc_send_gate.h"
#include "support/irc_test_peer.h"
#include "support/ngircd_server.h"
#include "support/qt_printers.h"
#include "support/scripted_irc_server.h"
#include "support/test_files.h"
#include "support/wait_until.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace jackwell {
namespace {

using namespace testing;
using ScriptedServer = testing::ScriptedIrcServer;
using State = ChatLinkStatus::State;

class IrcBackendTest : public ::testing::Test {
protected:
    explicit IrcBackendTest(NgircdServer::Options options = {})
        : server(options) {}

    void SetUp() override {
        QString error;
        ASSERT_TRUE(server.start(&error)) << error;
        config.server = NgircdServer::kHost;
        config.port = server.port();
        config.nick = "Player";
        config.channel = "#casino";
    }

    std::unique_ptr<IrcBackend> openBackend(Clock& clock) {
        auto backend = std::make_unique<IrcBackend>(clock, config);
        EXPECT_TRUE(backend->open({})) << server.output();
        return backend;
    }
    // On `virtualTime`: registered with ngircd, then at its first retry with `scripted`, same port.
    std::unique_ptr<IrcBackend> reconnectToScripted();
    // The machinekeeper connected and in #casino.
    bool keeperJoins() { return keeper.connectTo(server.port()) && keeper.join("#casino"); }

    // Sends `text` to `to` once the backend, pacing its lines, takes it.
    static bool sendSoon(IrcBackend& backend, const QString& to, const QString& text) {
        return waitUntil([&] { return backend.sendPrivateMessage(to, text) == ChatStatus::Done; });
    }
    static bool logHas(IrcBackend& backend, const QByteArray& line) {
        return QByteArray(backend.log().lines()).replace("\r\n", "\n").split('\n').contains(line);
    }

    NgircdServer server;
    RealClock clock;
    IrcConfig config;
    VirtualClock virtualTime;
    ScriptedServer scripted;
    IrcTestPeer keeper{"Keeper"};
};

// Messages both ways in the chat log's format; the backend paces its own lines, saying Busy
// meanwhile, and sends a long message in pieces that fit the line limit, logged once whole.
TEST_F(IrcBackendTest, carriesMessagesBothWaysPacedAndInPieces) {
    ASSERT_TRUE(keeperJoins());
    auto backend = openBackend(clock);
    EXPECT_TRUE(logHas(*backend, "<system>: Connected to 127.0.0.1:" +
                                     QByteArray::number(server.port()) + " as Player"));
    ASSERT_TRUE(keeper.waitForMessage("JOIN", "Player", {}));

    keeper.privmsg("Player", "Hello \xe2\x98\x83");
    keeper.privmsg("#casino", "Your machinekeeper is Keeper");
    EXPECT_TRUE(
        waitUntil([&] { return logHas(*backend, "Keeper: Your machinekeeper is Keeper"); }));
    EXPECT_TRUE(logHas(*backend, "ESP from Keeper: Hello \xe2\x98\x83"));

    int busy = 0;
    const auto send = [&](const QByteArray& text) {
        return waitUntil([&] {
            const auto status = backend->sendPrivateMessage("Keeper", QString::fromUtf8(text));
            busy += status == ChatStatus::Busy;
            return status == ChatStatus::Done;
        });
    };
    const QByteArray longText =
        QString::fromUtf8("Grüße ☃ 𝄞 hold them all! ").repeated(60).toUtf8() + "The end.";
    QList<QByteArray> sent = {"Register me!", longText};
    // Line breaks, NUL and the CTCP mark would end, cut or make a command of the line: blanked.
    ASSERT_TRUE(send("\x01VERSION\x01 a\rb\nc"));
    for (int i = 0; i < 10; ++i)
        sent.append("line " + QByteArray::number(i));
    for (const QByteArray& text : sent)
        ASSERT_TRUE(send(text)) << text.left(20);
    sent.prepend(" VERSION  a b c");
    EXPECT_GT(busy, 0);
    EXPECT_TRUE(logHas(*backend, "ESP to Keeper: Register me!"));
    EXPECT_EQ(backend->log().lines().count("ESP to Keeper: Gr"), 1); // logged once, whole
    // In order, whole, and the long text in four pieces or more.
    EXPECT_TRUE(waitUntil([&] { return keeper.privmsgsFrom("Player").join() == sent.join(); }))
        << keeper.rawLines().join("\n");
    EXPECT_GE(keeper.privmsgsFrom("Player").size(), sent.size() + 3);
    for (const QByteArray& line : keeper.rawLines()) {
        EXPECT_TRUE(line.size() + 2 <= kIrcMaxLineBytes && !line.endsWith("[CUT]")) << line;
    }

    // The server's later refusal shows up as a system line.
    ASSERT_TRUE(sendSoon(*backend, "nosuchguy", "anyone?"));
    EXPECT_TRUE(waitUntil(
        [&] { return logHas(*backend, "<system>: nosuchguy: No such nick or channel name"); }));
    const QByteArray bad = "#" + QByteArray(70, 'x'); // no nickname: given up at once, and told
    EXPECT_EQ(backend->sendPrivateMessage(bad, "hi"), ChatStatus::GivenUp);
    EXPECT_TRUE(
        logHas(*backend, "<system>: Message not sent: \"" + bad.left(64) + "\" is not a nickname"));

    // Plain text goes to the channel as the player's public line; with no channel, a line says so.
    ASSERT_TRUE(waitUntil([&] { return backend->linkStatus().channel == "#casino"; }));
    backend->sayInPublic("Evening all \xe2\x98\x83");
    ASSERT_TRUE(keeper.waitForMessage("PRIVMSG", {}, {"#casino", "Evening all \xe2\x98\x83"}));
    EXPECT_TRUE(logHas(*backend, "Player: Evening all \xe2\x98\x83"));
    config.channel.clear();
    config.nick = "Loner";
    auto alone = openBackend(clock);
    alone->sayInPublic("anyone?");
    EXPECT_TRUE(alone->log().lines().endsWith(
        "<system>: Not said: Chat.txt names no channel to speak in; join one with /join #channel "
        "or write privately with /msg NAME text"));
}

// A message goes whole while the line the recipient gets would fit 512 bytes with the longest
// nickname (30 here) and host ("~" and 64 bytes) the server allows; one byte more: two pieces.
TEST_F(IrcBackendTest, sendsTheLongestMessageThatFitsTheRecipientsLineWhole) {
    ASSERT_TRUE(keeper.connectTo(server.port()));
    auto backend = openBackend(clock);
    // ":" + 30 + "!~jackwell@" + 64 + " PRIVMSG Keeper :" + text + CR LF
    const qsizetype whole = 512 - 1 - 30 - 11 - 64 - 17 - 2;
    const QByteArray fits(whole, 'x'), over(whole + 1, 'y');
    for (const QByteArray& text : {fits, over})
        ASSERT_TRUE(sendSoon(*backend, "Keeper", QString::fromLatin1(text)));
    EXPECT_TRUE(waitUntil([&] {
        return keeper.privmsgsFrom("Player") == QList<QByteArray>{fits, over.first(whole), "y"};
    })) << keeper.rawLines().join("\n");
}

// Each connect's greeting from the server is numbered, for the chat window to fold it; the window's
// commands reach the network (an action, a channel joined and spoken in, another nickname), and a
// reconnect keeps the nickname and the channel. A paragraph separator from another user stays
// inside its line. The state line follows the link through the reconnect, each change told.
TEST_F(IrcBackendTest, numbersEachGreetingAndCarriesTheWindowsCommands) {
    ASSERT_TRUE(keeperJoins());
    ASSERT_TRUE(keeper.join("#other"));
    auto backend = openBackend(clock);
    std::vector<ChatLinkStatus> told;
    QStringList heard; // the lines the chat window is given as they come
    backend->setListener({[&](const QString& line, int) { heard << line; },
                          [&] { told.push_back(backend->linkStatus()); }});
    const auto inChannel = [&](const char* channel) {
        return [&backend, channel] { return backend->linkStatus().channel == channel; };
    };
    ASSERT_TRUE(waitUntil(inChannel("#casino")));
    const ChatLinkStatus connected = backend->linkStatus();
    EXPECT_TRUE(connected.state == State::Connected && connected.nick == "Player");
    EXPECT_EQ(connected.server, "127.0.0.1:" + QString::number(server.port()));
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.front().channel, "#casino");
    const auto greetingLines = [&](int greeting) {
        QStringList lines;
        const QStringList all = QString::fromUtf8(backend->log().lines()).split("\r\n");
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (backend->log().greetingOf(i) == greeting)
                lines << all[i];
        }
        return lines;
    };
    const QStringList first = greetingLines(1);
    EXPECT_GE(first.size(), 8) << first.join('\n');
    EXPECT_TRUE(first.first().contains("Welcome") && first.last().contains("MOTD"));
    EXPECT_EQ(greetingLines(0).filter(QRegularExpression("Connected to|joined #casino")).size(), 2);
    EXPECT_EQ(heard.filter("joined #casino").size(), 1);

    // An action's pieces leave room for its marks: 386 bytes fit in #casino, less 9 for them.
    const QByteArray waves = "waves" + QByteArray(400, '~');
    backend->actInPublic(QString::fromLatin1(waves));
    const QByteArray action = "\001ACTION " + waves.first(377) + '\001';
    EXPECT_TRUE(keeper.waitFor([&](const IrcMessage& m) { return m.param(1) == action; }));
    EXPECT_TRUE(logHas(*backend, "Player: * Player " + waves));
    EXPECT_EQ(backend->joinChannel("#no," + QString(70, u'x')), // named by its first 64
              "Not joined: #no," + QString(60, u'x') + " is no channel name.");
    EXPECT_EQ(backend->joinChannel("#other"), QString());
    ASSERT_TRUE(waitUntil(inChannel("#other")));
    backend->sayInPublic("over here");
    EXPECT_TRUE(keeper.waitForMessage({}, {}, {"#other", "over here"}));
    EXPECT_EQ(backend->changeNick("9" + QString(70, u'x')),
              "Not changed: 9" + QString(63, u'x') + " is no nickname the network takes.");
    EXPECT_EQ(backend->changeNick("Gambler"), QString());
    EXPECT_TRUE(waitUntil([&] { return backend->ownName() == "Gambler"; }));
    const size_t changes = told.size(); // words to it change nothing of the link
    keeper.privmsg("Gambler", "psst");
    keeper.sendRaw("PART #other\r\n"); // another's leaving is not ours
    keeper.privmsg("#casino", QStringLiteral("a\u2029ESP from Keeper: FIRST: | 04 |").toUtf8());
    const QByteArray marked =
        QStringLiteral("Keeper: a\u00B6ESP from Keeper: FIRST: | 04 |").toUtf8();
    EXPECT_TRUE(waitUntil([&] { return logHas(*backend, marked); }));
    EXPECT_EQ(told.size(), changes);
    EXPECT_EQ(backend->linkStatus().channel, "#other");

    server.stop();
    ASSERT_TRUE(waitUntil([&] { return backend->linkStatus().state == State::Reconnecting; }));
    const ChatLinkStatus away = backend->linkStatus();
    EXPECT_TRUE(away.channel.isEmpty());
    ASSERT_TRUE(away.nextTryInMs.has_value());
    EXPECT_LE(*away.nextTryInMs, IrcConnection::kFirstRetryMs);
    ASSERT_TRUE(away.offlineSince.has_value());
    EXPECT_NEAR(*away.offlineSince, clock.timeOfDay(), 5.0);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error;
    EXPECT_TRUE(waitUntil(inChannel("#other"), 4 * kWaitMs));
    EXPECT_EQ(backend->ownName(), "Gambler");
    // Connected again, it is in no channel until the server has it join one.
    const auto lost = std::ranges::find(told, State::Reconnecting, &ChatLinkStatus::state);
    const auto back = std::ranges::find(lost, told.end(), State::Connected, &ChatLinkStatus::state);
    EXPECT_TRUE(back != told.end() && back->channel.isEmpty());
    EXPECT_EQ(told.back().state, State::Connected);
    EXPECT_GE(greetingLines(2).size(), 8);
    // Leaving the channel or kicked out of it, it is in none (it may kick itself: it made #other).
    for (const QByteArray& out :
         {ircLine("PART", {"#other"}), ircLine("KICK", {"#other", "Gambler"}, "out")}) {
        ASSERT_TRUE(waitUntil(inChannel("#other")));
        backend->connection().send(out);
        EXPECT_TRUE(waitUntil([&] { return backend->linkStatus().channel.isEmpty(); }));
        backend->joinChannel("#other");
    }
    backend->close();
    EXPECT_EQ(told.back().state, State::Offline) << "closed, and told so";
}

TEST_F(IrcBackendTest, givesUpOnMessagesAfterALongOutageAndFailsToOpenWhereNoServerAnswers) {
    auto backend = openBackend(virtualTime);
    virtualTime.lapse(20'000); // the outage counts from when it began
    server.stop();
    ASSERT_TRUE(waitUntil([&] { return !backend->connection().isRegistered(); }));
    EXPECT_EQ(backend->sendPrivateMessage("Keeper", "hello"), ChatStatus::NotRegistered);
    EXPECT_EQ(backend->linkStatus().state, State::Reconnecting);
    const QByteArray where = "connection to 127.0.0.1:" + QByteArray::number(server.port());
    backend->sayInPublic("anyone?"); // the chat shows it went nowhere
    EXPECT_TRUE(backend->log().lines().endsWith("<system>: Not said: no " + where));
    virtualTime.advance(30'000); // half a minute offline: given up
    EXPECT_EQ(backend->sendPrivateMessage("Keeper", "hello"), ChatStatus::GivenUp);
    // From now on the chat window says since when the link is down.
    const ChatLinkStatus status = backend->linkStatus();
    EXPECT_EQ(status.state, State::Offline);
    EXPECT_EQ(status.offlineSince, std::optional<double>(12 * 3600.0 + 20)); // when it was lost
    EXPECT_TRUE(status.nextTryInMs.has_value());                             // attempts go on
    EXPECT_TRUE(
        backend->log().lines().endsWith("<system>: Message to Keeper not sent: no " + where));

    QTcpServer silent; // accepts connections but never says a word
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 refusedPort = closed.serverPort();
    closed.close();
    const std::pair<const char*, quint16> rows[] = {{"refused", refusedPort},
                                                    {"no welcome", silent.serverPort()}};
    for (const auto& [name, port] : rows) {
        SCOPED_TRACE(name);
        config.port = port;
        IrcBackend backend(clock, config);
        EXPECT_FALSE(backend.open({}));
        // The reason is the program's to show; it names the server.
        EXPECT_TRUE(backend.openError().startsWith(
            QStringLiteral("Cannot reach the chat network 127.0.0.1:%1: ").arg(port)))
            << backend.openError();
        EXPECT_EQ(backend.requestText(), ChatStatus::GivenUp);
    }
    // The configuration's warnings (a password others may read) stand in the chat log.
    auto port = makeIrcBackend(clock, config, {"Chat.txt may be read by others"}, nullptr);
    EXPECT_TRUE(
        logHas(static_cast<IrcBackend&>(*port), "<system>: Chat.txt may be read by others"));
}

class IrcTlsTest : public IrcBackendTest {
protected:
    IrcTlsTest()
        : IrcBackendTest({.tls = true}) {}
};

// Over TLS only a trusted certificate is accepted: one the system trusts, or a private authority
// named in the configuration, for that connection alone; a client certificate is shown from its
// files, and one that cannot be read or used ends the start with its name, never connecting bare.
TEST_F(IrcTlsTest, connectsOnlyWithATrustedCertificateAndShowsItsOwn) {
    config.port = server.tlsPort();
    config.tls = true;
    IrcBackend untrusted(clock, config);
    EXPECT_FALSE(untrusted.open({}));
    EXPECT_PRED2(textContains, untrusted.openError(), "certificate");

    const QSslConfiguration usual = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = usual;
    trusting.addCaCertificates(server.certificatePath());
    QSslConfiguration::setDefaultConfiguration(trusting);
    EXPECT_TRUE(openBackend(clock)->connection().isRegistered());
    QSslConfiguration::setDefaultConfiguration(usual);

    const QByteArray pem = QSslCertificate::fromPath(server.certificatePath()).value(0).toPem();
    QTemporaryDir dir;
    const auto file = [&](auto name, auto text) { return writeFile(dir.filePath(name), text); };
    const QByteArray padding(1024 * 1024 - pem.size(), '\n'); // the authority last in 1 MiB
    const QString ca = config.tlsCaPath = file("ca.pem", padding + pem);
    const QString cert = config.tlsCertPath = server.certificatePath();
    const QString key = config.tlsKeyPath = QFileInfo(cert).dir().filePath("key.pem");
    EXPECT_TRUE(openBackend(clock)->connection().isRegistered());
    const QString empty = file("empty.pem", QByteArray());
    for (const auto& [caPath, certPath, keyPath, named] :
         {std::tuple{file("big.pem", ' ' + padding + pem), cert, key, "big.pem: larger than"},
          {empty, cert, key, "empty.pem holds no certificate"},
          {ca, empty, key, "empty.pem holds no certificate"},
          {ca, cert, file("no-key.pem", pem), "no-key.pem holds no private key"},
          {ca, cert, QString("/nonexistent/key.pem"), "/nonexistent/key.pem"}}) {
        std::tie(config.tlsCaPath, config.tlsCertPath, config.tlsKeyPath) =
            std::tie(caPath, certPath, keyPath);
        IrcBackend refused(clock, config);
        EXPECT_FALSE(refused.open({}));
        EXPECT_PRED2(textContains, refused.openError(), named);
        EXPECT_TRUE(refused.connection().loginRefused());
    }
}

// Who private messages no longer reach: the unknown ("No such nick") and who quit, not who left.
TEST_F(IrcBackendTest, tellsWhomPrivateMessagesNoLongerReach) {
    ASSERT_TRUE(keeperJoins());
    QStringList gone;
    auto backend = std::make_unique<IrcBackend>(clock, config);
    ASSERT_TRUE(backend->open([&](ChatLinkEvent event, const QString& name) {
        if (event == ChatLinkEvent::Gone)
            gone << name;
    }));
    ASSERT_TRUE(keeper.waitForMessage("JOIN", "Player", {}));
    keeper.sendRaw("PART #casino\r\n");
    ASSERT_TRUE(waitUntil([&] { return logHas(*backend, "<system>: Keeper left #casino"); }));
    EXPECT_TRUE(sendSoon(*backend, "Nobody", "I hold 0,0,0"));
    EXPECT_TRUE(waitUntil([&] { return gone == QStringList{"Nobody"}; })) << gone.join(',');
    ASSERT_TRUE(keeper.join("#casino")); // a quit is heard where a channel is shared
    keeper.sendRaw("QUIT :gone\r\n");
    EXPECT_TRUE(waitUntil([&] {
        return gone == QStringList({"Nobody", "Keeper"});
    })) << gone.join(',');
}

std::unique_ptr<IrcBackend> IrcBackendTest::reconnectToScripted() {
    auto backend = openBackend(virtualTime);
    server.stop();
    if (!waitUntil([&] { return !backend->connection().isRegistered(); }) ||
        !scripted.listen(server.port()))
        return nullptr;
    virtualTime.advance(1000); // the first retry
    return scripted.waitForLine("NICK Player") ? std::move(backend) : nullptr;
}

// Lines waiting for their turn when the connection is lost go once connected again, after the
// welcome: none is written into the connection that went, nor before the server takes them.
TEST_F(IrcBackendTest, linesWaitingWhenTheConnectionIsLostGoOnceConnectedAgain) {
    auto backend = reconnectToScripted();
    ASSERT_TRUE(backend);
    scripted.send(":s 001 Player :Welcome back\r\n");
    ASSERT_TRUE(waitUntil([&] { return backend->connection().isRegistered(); }));
    for (int i = 1; i <= IrcSendGate::kBurst + 1; ++i)
        ASSERT_EQ(backend->sendPrivateMessage("Keeper", QString::number(i)), ChatStatus::Done);
    ASSERT_TRUE(backend->isHeldBack());
    scripted.received.clear();
    scripted.client->abort();
    ASSERT_TRUE(waitUntil([&] { return !backend->connection().isRegistered(); }));
    for (int ms = 0; ms < 2000 && (ms < 600 || !scripted.received.contains("NICK Player"));
         ms += 100) {
        virtualTime.advance(100); // the retry, and the gate's turns (one at least)
        testing::runEventsFor(5);
    }
    ASSERT_TRUE(scripted.waitForLine("NICK Player"));
    EXPECT_FALSE(scripted.received.contains("PRIVMSG Keeper :5"));
    scripted.send(":s 001 Player :Welcome back\r\n");
    EXPECT_TRUE(scripted.waitForLine("PRIVMSG Keeper :5"));
}

// A greeting goes on through lines the log leaves out (a PING) and the server's notices, and ends
// at one it shows (a message) or at the end of the message of the day. Closed, the link leaves.
TEST_F(IrcBackendTest, foldsTheGreetingItShows) {
    auto backend = reconnectToScripted();
    ASSERT_TRUE(backend);
    scripted.send(":s 001 Player :Welcome back\r\nPING :s\r\n:s.net NOTICE Player :note\r\n"
                  ":s 372 Player :- motd\r\n:a!b@c PRIVMSG Player :hi\r\n:s 372 Player :- late\r\n"
                  ":s 376 Player :End\r\n:s.net NOTICE Player :after\r\n");
    ASSERT_TRUE(waitUntil([&] { return backend->log().lines().contains("after"); }))
        << backend->log().lines();
    const QList<QByteArray> log =
        QByteArray(backend->log().lines()).replace("\r\n", "\n").split('\n');
    const auto greetingOf = [&](const QByteArray& text) {
        const qsizetype line =
            std::ranges::find_if(log, [&](const QByteArray& l) { return l.startsWith(text); }) -
            log.begin();
        return backend->log().greetingOf(line);
    };
    const int greeting = greetingOf("<system>: Welcome back");
    EXPECT_GT(greeting, 0);
    EXPECT_EQ(greetingOf("<system>: - motd"), greeting);
    EXPECT_EQ(greetingOf("ESP from a: hi"), 0);
    EXPECT_EQ(greetingOf("<system>: - late"), greeting + 1);
    EXPECT_EQ(greetingOf("<system>: after"), 0) << log.join('\n');
    backend->close(); // the player leaves politely, and from then on the link is offline
    EXPECT_EQ(backend->linkStatus().offlineSince, virtualTime.timeOfDay());
    EXPECT_TRUE(scripted.waitForLine("QUIT :Jackwell closed"));
    EXPECT_EQ(backend->sendPrivateMessage("Keeper", "hi"), ChatStatus::GivenUp);
}

// Lines no server should send, after a reconnect under another nickname, are passed over.
TEST_F(IrcBackendTest, survivesGarbageAfterAReconnect) {
    auto backend = reconnectToScripted();
    ASSERT_TRUE(backend);
    scripted.send(":fake 433 * Player :Nickname already in use\r\n");
    ASSERT_TRUE(scripted.waitForLine("NICK Player_"));
    scripted.send(":fake 001 Player_ :Welcome back\r\n");
    EXPECT_TRUE(scripted.waitForLine("JOIN #casino")); // the channel again

    QByteArray garbage(100000, 'x'); // no line end for a long while
    garbage += QByteArrayLiteral("\r\n\x00\x01\xff\xfe\r\n:\r\n@\r\n:a PRIVMSG\r\n"
                                 ":a!b@c PRIVMSG Player_ :\x01\x01\r\n"
                                 ":a!b@c PRIVMSG Player_ :nul\0inside\r\n");
    garbage += ":Keeper!k@h PRIVMSG Player_ :still here\r\n";
    scripted.send(garbage);
    EXPECT_TRUE(waitUntil([&] { return logHas(*backend, "ESP from Keeper: still here"); }));
    EXPECT_TRUE(logHas(*backend, "ESP from a: nul inside") && backend->connection().isRegistered());
    EXPECT_EQ(backend->log().lines().count("xxxxx"), 0);
}

} // namespace
} // namespace jackwell

// The robot's configuration file; its book names: nicknames folded as the server does, accounts.
#include "keeper/bounded_hash.h"
#include "keeper/keeper_accounts.h"
#include "keeper/keeper_config.h"
#include "keeper/player_key.h"

#include "support/qt_printers.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace jackwell;
using namespace jackwell::keeper;

namespace {

const QByteArray kBase = "server = irc.example.net\nnick = Rivet\nchannel = #casino\n";

// What was read, its fields joined by '|' in this order.
QString shown(const KeeperConfig& c) {
    return QStringList{c.irc.server,
                       QString::number(c.irc.port),
                       c.irc.nick,
                       c.irc.channel,
                       c.booksPath,
                       c.operName + ' ' + c.operPassword,
                       QString::number(c.pace),
                       QString::number(c.fastPace),
                       QString::number(int(c.identity)),
                       QString::number(int(c.logLevel)),
                       c.logFile,
                       c.greet ? "yes" : "no",
                       c.irc.saslAccount,
                       c.metricsHost + ':' + QString::number(c.metricsPort)}
        .join(u'|');
}

TEST(KeeperConfig, ReadsTheChatLinesAndTheRobotsOwn) {
    const std::pair<QByteArray, QString> rows[] = {
        {"books = /var/lib/books.sqlite\n",
         "irc.example.net|6667|Rivet|#casino|/var/lib/books.sqlite| |3|1000|0|1||yes||:0"},
        {"# the robot's own\nbooks = keeper.sqlite\nOPER =  botop   s3cret \npace = 2\n"
         "fastpace = 500\nport = 6668\n",
         "irc.example.net|6668|Rivet|#casino|/srv/keeper/keeper.sqlite|botop "
         "s3cret|2|500|0|1||yes||:0"},
        {"books = b\nidentity = Account\nlog = debug\nlogfile = log/keeper.log\ngreet = no\n"
         "sasl = Rivet robotpass\nmetrics = 127.0.0.2:9187\n",
         "irc.example.net|6667|Rivet|#casino|/srv/keeper/b| |3|1000|1|0|/srv/keeper/log/keeper.log|"
         "no|Rivet|127.0.0.2:9187"},
        {"books = b\nidentity = NICK\nlog = warning\nmetrics = [::1]:9187\n",
         "irc.example.net|6667|Rivet|#casino|/srv/keeper/b| |3|1000|2|2||yes||::1:9187"},
        // The bounds themselves are taken; the address of shared books stays as written.
        {"books = postgresql://keeper@db/casino\npace = 1\nfastpace = 10000\n"
         "metrics = 127.0.0.1:65535\n",
         "irc.example.net|6667|Rivet|#casino|postgresql://keeper@db/casino| |1|10000|0|1||yes||"
         "127.0.0.1:65535"},
        {"books = b\npace = 100\nfastpace = 1\nmetrics = 127.0.0.1:1\n",
         "irc.example.net|6667|Rivet|#casino|/srv/keeper/b| |100|1|0|1||yes||127.0.0.1:1"},
    };
    for (const auto& [text, expected] : rows) {
        const auto result = parseKeeperConfig(kBase + text, "keeper.txt", "/srv/keeper");
        ASSERT_TRUE(result.config) << result.error;
        EXPECT_EQ(shown(*result.config), expected) << text;
    }
    // Names and paths up to their bounds are taken, one byte more is refused.
    const QByteArray field(100, 'o'), path(4096, 'p');
    for (const auto& [line, taken] : {std::pair{"books = b\noper = " + field + ' ' + field, true},
                                      {"books = b\noper = o" + field + " p", false},
                                      {"books = b\noper = o o" + field, false},
                                      {"books = " + path, true},
                                      {"books = /" + path, false},
                                      {"books = b\nlogfile = " + path, true},
                                      {"books = b\nlogfile = /" + path, false}}) {
        const auto result = parseKeeperConfig(kBase + line + '\n', "k", "/");
        EXPECT_EQ(result.config.has_value(), taken) << line.left(20);
    }
}

// SIGHUP takes pace, fastpace, log and greet as they come; the rest is named as needing a restart.
TEST(KeeperConfig, NamesWhatNeedsARestart) {
    const auto before = parseKeeperConfig(kBase + "books = b\n", "k", "/x");
    const auto after = parseKeeperConfig(kBase + "books = c\npace = 9\nlog = debug\ngreet = no\n"
                                                 "identity = nick\nsasl = a b\n",
                                         "k", "/x");
    ASSERT_TRUE(before.config && after.config);
    EXPECT_EQ(KeeperConfig::needRestart(*before.config, *after.config),
              QStringList({"sasl", "books", "identity"}));
    EXPECT_TRUE(KeeperConfig::needRestart(*before.config, *before.config).isEmpty());
    // Each key of the connection and of the log's and figures' places, changed alone.
    const std::tuple<QByteArray, QByteArray, QStringList> changes[] = {
        {"server = irc.example.net", "server = other.example.net", {"server"}},
        {"nick = Rivet", "nick = Other", {"nick"}},
        {"channel = #casino", "channel = #other", {"channel"}},
        {"books = b", "books = b\nport = 7000", {"port"}},
        {"books = b", "books = b\ntls = yes", {"port", "tls"}},
        {"books = b", "books = b\npassword = secret", {"password"}},
        {"books = b", "books = b\noper = op pw", {"oper"}},
        {"books = b", "books = b\nlogfile = /tmp/k.log", {"logfile"}},
        {"books = b", "books = b\nmetrics = 127.0.0.1:9100", {"metrics"}},
    };
    for (const auto& [from, to, named] : changes) {
        const QByteArray text = QByteArray(kBase + "books = b\n").replace(from, to);
        const auto changed = parseKeeperConfig(text, "k", "/x");
        ASSERT_TRUE(changed.config) << changed.error;
        EXPECT_EQ(KeeperConfig::needRestart(*before.config, *changed.config), named) << to.data();
    }
    // One half of a pair changed alone, and the files of a TLS client's identity.
    using Edit = void (*)(KeeperConfig&);
    const std::pair<Edit, const char*> edits[] = {
        {[](KeeperConfig& c) { c.irc.saslAccount = "a"; }, "sasl"},
        {[](KeeperConfig& c) { c.operPassword = "pw"; }, "oper"},
        {[](KeeperConfig& c) { c.metricsPort = 9100; }, "metrics"},
        {[](KeeperConfig& c) { c.irc.tlsCertPath = "c"; }, "tlscert"},
        {[](KeeperConfig& c) { c.irc.tlsKeyPath = "k"; }, "tlskey"},
        {[](KeeperConfig& c) { c.irc.tlsCaPath = "a"; }, "tlsca"},
    };
    for (const auto& [edit, named] : edits) {
        KeeperConfig changed = *before.config;
        edit(changed);
        EXPECT_EQ(KeeperConfig::needRestart(*before.config, changed), QStringList(named));
    }
}

TEST(KeeperConfig, NamesTheLineAndTheFault) {
    const std::tuple<QByteArray, const char*> cases[] = {
        {kBase, "k.txt: no \"books = ...\" line"},
        {"server = a\nnick = Rivet\nbooks = b\n", "k.txt: no \"channel = ...\" line"},
        {kBase + "books = a\nbooks = b\n", "k.txt, line 5: books is given a second time"},
        {kBase + "books =\n", "k.txt, line 4: books must name a file"},
        {kBase + "books = b\noper = onlyname\n", "k.txt, line 5: oper must be a name"},
        {kBase + "books = b\noper = a b c\n", "k.txt, line 5: oper must be a name"},
        {kBase + "books = b\npace = 0\n", "k.txt, line 5: pace must be a number"},
        {kBase + "books = b\npace = fast\n", "k.txt, line 5: pace must be a number"},
        {kBase + "books = b\nfastpace = 10001\n", "k.txt, line 5: fastpace must be a number"},
        {"books = b\nnick = 9lives\nserver = a\nchannel = #c\n", "k.txt, line 2: nick"},
        {kBase + "books = b\nflavour = mint\n",
         "k.txt, line 5: unknown key \"flavour\" (known: server, port, tls, nick, password, "
         "channel, sasl, tlscert, tlskey, tlsca, books, oper, pace, fastpace, identity, log, "
         "logfile, greet, metrics)"},
        {kBase + "books = b\nidentity = email\n", "k.txt, line 5: identity must be account"},
        {kBase + "books = b\nlog = verbose\n", "k.txt, line 5: log must be debug, info or"},
        {kBase + "books = b\ngreet = sometimes\n", "k.txt, line 5: greet must be yes or no"},
        {kBase + "books = b\nmetrics = 9187\n", "k.txt, line 5: metrics must be an address"},
        {kBase + "books = b\nmetrics = localhost:9187\n", "k.txt, line 5: metrics must be an"},
        {kBase + "books = b\nmetrics = [::1]:0\n", "k.txt, line 5: metrics must be an address"},
        {kBase + "books = b\nsasl = robot\n", "k.txt, line 5: sasl must be an account"},
        {kBase + "books = b\npace = 101\n", "k.txt, line 5: pace must be a number"},
        {kBase + "books = b\nfastpace = 0\n", "k.txt, line 5: fastpace must be a number"},
        {kBase + "books = b\nmetrics = 127.0.0.1:65536\n", "k.txt, line 5: metrics must be an"},
        {kBase + "books = b\nmetrics = [::1:9187\n", "k.txt, line 5: metrics must be an"},
        {kBase + "books = a\x01b\n", "k.txt, line 4: books must name a file"},
        {kBase + "books = postgresql://keeper@db:0/casino\n", "k.txt, line 4: "},
        {kBase + "books = b\nlogfile =\n", "k.txt, line 5: logfile must name a file"},
        {kBase + "books = b\nlogfile = a\x01b\n", "k.txt, line 5: logfile must name a file"},
        {kBase + "books = b\noper = op\x01 pw\n", "k.txt, line 5: oper must be a name"},
    };
    for (const auto& [text, expected] : cases) {
        const auto result = parseKeeperConfig(text, "k.txt", "/x");
        EXPECT_FALSE(result.config) << text;
        EXPECT_PRED2(textStartsWith, result.error, QString(expected)) << " for " << text;
    }
}

TEST(KeeperConfig, ReadsAFileRelativeToItsFolder) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("keeper.txt");
    QFile file(jackwell::testing::writeFile(path, "\xEF\xBB\xBF" + kBase +
                                                      "books = data/books.sqlite\r\n"));
    const auto result = readKeeperConfig(path);
    ASSERT_TRUE(result.config) << result.error;
    EXPECT_EQ(result.config->booksPath, QDir(dir.path()).filePath("data/books.sqlite"));
    EXPECT_FALSE(readKeeperConfig(QDir(dir.path()).filePath("missing.txt")).config);
    // Others may read it: a warning only when it holds a password; a file at fault says so.
    ASSERT_TRUE(file.setPermissions(file.permissions() | QFileDevice::ReadOther));
    EXPECT_TRUE(readKeeperConfig(path).warnings.isEmpty());
    for (const auto& [line, warned] :
         {std::pair{QByteArray("oper = op pw\n"), true}, {QByteArray("pace = 0\n"), false}}) {
        ASSERT_TRUE(file.open(QIODevice::Append) && file.write(line) == line.size());
        file.close();
        const auto read = readKeeperConfig(path);
        EXPECT_EQ(read.config.has_value(), warned);
        EXPECT_EQ(read.warnings.size(), warned ? 1 : 0) << read.warnings.join(' ');
    }
}

TEST(PlayerKey, FoldsNicknamesAsTheServerCompares) {
    const std::tuple<QByteArray, QByteArray, CaseMapping, bool> cases[] = {
        {"ZoeAlice", "zoealice", CaseMapping::Ascii, true}, // A to Z, both ends
        {"[Bob]", "{bob}", CaseMapping::Ascii, false},
        {"[Bob]", "{bob}", CaseMapping::Rfc1459, true},
        {"a\\b~", "a|b^", CaseMapping::Rfc1459, true},
        {"a\\b~", "a|b^", CaseMapping::StrictRfc1459, false},
        {"a\\b", "a|b", CaseMapping::StrictRfc1459, true},
        {"alice", "alice_", CaseMapping::Rfc1459, false},
        {"caf\xC3\xA9", "CAF\xC3\x89", CaseMapping::Ascii, false},
    };
    for (const auto& [a, b, mapping, same] : cases)
        EXPECT_EQ(playerKey(a, mapping) == playerKey(b, mapping), same) << a << " " << b;
    EXPECT_EQ(playerKey("\xFF\x01", CaseMapping::Ascii).size(), 2) << "one character per byte";
    EXPECT_EQ(caseMappingNamed("ASCII"), CaseMapping::Ascii);
    EXPECT_EQ(caseMappingNamed("strict-rfc1459"), CaseMapping::StrictRfc1459);
    EXPECT_EQ(caseMappingNamed("rfc7613"), CaseMapping::Rfc1459);
}

IrcMessage from(const QByteArray& nick, const QByteArray& text) {
    return *parseIrcLine(":" + nick + "!u@h PRIVMSG Rivet :" + text);
}

// Bounded memory of players: a new name at the bound empties it first; a known name only changes.
TEST(BoundedHash, ANewNameAtTheBoundStartsAfresh) {
    QHash<QString, int> known;
    insertBounded(known, "alice", 1, 2);
    insertBounded(known, "bob", 2, 2);
    insertBounded(known, "alice", 3, 2);
    EXPECT_EQ(known, (QHash<QString, int>{{"alice", 3}, {"bob", 2}}));
    insertBounded(known, "carol", 4, 2);
    EXPECT_EQ(known, (QHash<QString, int>{{"carol", 4}}));
}

TEST(KeeperAccounts, FollowsWhatTheServerSays) {
    KeeperAccounts accounts;
    EXPECT_EQ(accounts.accountOf("alice"), std::nullopt) << "unknown: to be asked";
    accounts.learn("alice", "Alice");
    accounts.learn("bob", {});
    EXPECT_EQ(accounts.accountOf("alice"), "Alice");
    EXPECT_EQ(accounts.accountOf("bob"), QByteArray()) << "known to be logged out";

    accounts.forget("alice");
    EXPECT_EQ(accounts.accountOf("alice"), std::nullopt);
    // Accounts and nicknames never share books: no nickname can be written with an account's ':'.
    EXPECT_EQ(accountIdentity("Alice", CaseMapping::Ascii), "account:alice");
    EXPECT_EQ(accountIdentity("[A]", CaseMapping::Rfc1459), "account:{a}");
    EXPECT_FALSE(isValidNickname("account:alice"));
}

TEST(KeeperAccounts, MessagesWaitForWhoisAskedOnce) {
    KeeperAccounts accounts;
    EXPECT_TRUE(accounts.wait("dave", from("dave", "Register me!")));
    EXPECT_FALSE(accounts.wait("dave", from("dave", "I hold 1,0,1"))) << "asked already";
    for (int i = 0; i < 10; ++i)
        accounts.wait("dave", from("dave", "more"));
    accounts.learn("dave", "dave");
    const std::vector<IrcMessage> waited = accounts.whoisEnded("dave");
    ASSERT_EQ(waited.size(), 4u) << "four messages kept for each";
    EXPECT_TRUE(waited[0].last() == "Register me!" && waited[1].last() == "I hold 1,0,1");
    EXPECT_EQ(accounts.accountOf("dave"), "dave");

    // A WHOIS that named no account: logged out.
    EXPECT_TRUE(accounts.wait("erin", from("erin", "Register me!")));
    EXPECT_EQ(accounts.whoisEnded("erin").size(), 1u);
    EXPECT_EQ(accounts.accountOf("erin"), QByteArray());
    EXPECT_TRUE(accounts.whoisEnded("nobody").empty());
    for (int i = 0; i < 100; ++i) // a hundred waiting at once, no more
        EXPECT_TRUE(accounts.wait(QString::number(i), from("x", "hi")));
    EXPECT_FALSE(accounts.wait("one more", from("x", "hi")));
    accounts.clear(); // a new connection: nobody waits, and everyone is asked again
    EXPECT_TRUE(accounts.wait("0", from("x", "hi")) && !accounts.accountOf("dave"));
}

} // namespace

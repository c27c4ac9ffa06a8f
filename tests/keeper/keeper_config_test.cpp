// The robot's configuration file and the names it keeps books under.
#include "keeper/keeper_config.h"
#include "keeper/player_key.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace jackwell::keeper;

namespace {

const QByteArray kBase = "server = irc.example.net\nnick = Rivet\nchannel = #casino\n";

TEST(KeeperConfig, ReadsTheChatLinesAndTheRobotsOwn) {
    const auto result = parseKeeperConfig(kBase + "# the robot's own\n"
                                                  "books = keeper.sqlite\n"
                                                  "OPER =  botop   s3cret \n"
                                                  "pace = 2\n"
                                                  "fastpace = 500\n"
                                                  "port = 6668\n",
                                          "keeper.txt", "/srv/keeper");
    ASSERT_TRUE(result.config) << result.error.toStdString();
    const KeeperConfig& config = *result.config;
    EXPECT_EQ(config.irc.server, "irc.example.net");
    EXPECT_EQ(config.irc.port, 6668);
    EXPECT_EQ(config.irc.nick, "Rivet");
    EXPECT_EQ(config.irc.channel, "#casino");
    EXPECT_EQ(config.booksPath, "/srv/keeper/keeper.sqlite");
    EXPECT_EQ(config.operName, "botop");
    EXPECT_EQ(config.operPassword, "s3cret");
    EXPECT_EQ(config.pace, 2);
    EXPECT_EQ(config.fastPace, 500);

    const auto plain = parseKeeperConfig(kBase + "books = /var/lib/books.sqlite\n", "k", "/x");
    ASSERT_TRUE(plain.config);
    EXPECT_EQ(plain.config->booksPath, "/var/lib/books.sqlite");
    EXPECT_TRUE(plain.config->operName.isEmpty());
    EXPECT_EQ(plain.config->pace, 3);
    EXPECT_EQ(plain.config->identity, Identity::Auto);
    EXPECT_EQ(plain.config->logLevel, LogLevel::Info);
    EXPECT_TRUE(plain.config->logFile.isEmpty());
    EXPECT_TRUE(plain.config->greet);

    const auto run = parseKeeperConfig(kBase + "books = b\nidentity = Account\nlog = debug\n"
                                               "logfile = log/keeper.log\ngreet = no\n"
                                               "sasl = Rivet robotpass\n",
                                       "k", "/srv");
    ASSERT_TRUE(run.config) << run.error.toStdString();
    EXPECT_EQ(run.config->identity, Identity::Account);
    EXPECT_EQ(run.config->logLevel, LogLevel::Debug);
    EXPECT_EQ(run.config->logFile, "/srv/log/keeper.log");
    EXPECT_FALSE(run.config->greet);
    EXPECT_EQ(run.config->irc.saslAccount, "Rivet");
}

// SIGHUP takes pace, fastpace, log and greet as they come; everything else is named as needing
// a restart.
TEST(KeeperConfig, NamesWhatNeedsARestart) {
    const auto before = parseKeeperConfig(kBase + "books = b\n", "k", "/x");
    const auto after = parseKeeperConfig(kBase + "books = c\npace = 9\nlog = debug\ngreet = no\n"
                                                 "identity = nick\nsasl = a b\n",
                                         "k", "/x");
    ASSERT_TRUE(before.config && after.config);
    EXPECT_EQ(KeeperConfig::needRestart(*before.config, *after.config),
              QStringList({"sasl", "books", "identity"}));
    EXPECT_TRUE(KeeperConfig::needRestart(*before.config, *before.config).isEmpty());
}

TEST(KeeperConfig, NamesTheLineAndTheFault) {
    const struct {
        QByteArray text;
        const char* expected;
    } cases[] = {
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
         "logfile, greet)"},
        {kBase + "books = b\nidentity = email\n", "k.txt, line 5: identity must be account"},
        {kBase + "books = b\nlog = verbose\n", "k.txt, line 5: log must be debug, info or"},
        {kBase + "books = b\ngreet = sometimes\n", "k.txt, line 5: greet must be yes or no"},
        {kBase + "books = b\nsasl = robot\n", "k.txt, line 5: sasl must be an account"},
    };
    for (const auto& c : cases) {
        const auto result = parseKeeperConfig(c.text, "k.txt", "/x");
        EXPECT_FALSE(result.config) << c.text.toStdString();
        EXPECT_TRUE(result.error.startsWith(QLatin1String(c.expected)))
            << result.error.toStdString() << " for " << c.text.toStdString();
    }
}

TEST(KeeperConfig, ReadsAFileRelativeToItsFolder) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("keeper.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xEF\xBB\xBF" + kBase + "books = data/books.sqlite\r\n");
    file.close();
    const auto result = readKeeperConfig(path);
    ASSERT_TRUE(result.config) << result.error.toStdString();
    EXPECT_EQ(result.config->booksPath, QDir(dir.path()).filePath("data/books.sqlite"));
    EXPECT_FALSE(readKeeperConfig(QDir(dir.path()).filePath("missing.txt")).config);
}

// A FIFO (or a device) named as the configuration once made the robot wait forever for a
// writer; a folder was read as an empty file. Both are one line of error now.
TEST(KeeperConfig, OnlyARegularFileIsRead) {
    QTemporaryDir dir;
    const QString fifo = QDir(dir.path()).filePath("keeper.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, dir.path()}) {
        const auto result = readKeeperConfig(path);
        EXPECT_FALSE(result.config);
        EXPECT_EQ(result.error, path + ": not a regular file, not a configuration");
    }
}

// What the file says is shown in a fault with its control characters written out: an ESC
// from the file must not reach the operator's terminal.
TEST(KeeperConfig, ControlCharactersOfTheFileAreShownEscaped) {
    const struct {
        QByteArray line;
        const char* expected;
    } cases[] = {
        {"fla\x1B[2Jvour = mint\n", "k.txt, line 4: unknown key \"fla\\x1B[2jvour\""},
        {"\x07"
         "bell\rline\n",
         "k.txt, line 4: expected \"key = value\", found \"\\x07bell\\rline\""},
    };
    for (const auto& c : cases) {
        const auto result = parseKeeperConfig(kBase + c.line, "k.txt", "/x");
        EXPECT_FALSE(result.config);
        EXPECT_TRUE(result.error.startsWith(QLatin1String(c.expected)))
            << result.error.toStdString();
        for (const QChar ch : result.error)
            EXPECT_GE(ch.unicode(), 0x20) << result.error.toStdString();
    }
}

TEST(PlayerKey, FoldsNicknamesAsTheServerCompares) {
    const struct {
        QByteArray a, b;
        CaseMapping mapping;
        bool same;
    } cases[] = {
        {"Alice", "alice", CaseMapping::Ascii, true},
        {"[Bob]", "{bob}", CaseMapping::Ascii, false},
        {"[Bob]", "{bob}", CaseMapping::Rfc1459, true},
        {"a\\b~", "a|b^", CaseMapping::Rfc1459, true},
        {"a\\b~", "a|b^", CaseMapping::StrictRfc1459, false},
        {"a\\b", "a|b", CaseMapping::StrictRfc1459, true},
        {"alice", "alice_", CaseMapping::Rfc1459, false},
        {"caf\xC3\xA9", "CAF\xC3\x89", CaseMapping::Ascii, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(playerKey(c.a, c.mapping) == playerKey(c.b, c.mapping), c.same)
            << c.a.toStdString() << " " << c.b.toStdString();
    EXPECT_EQ(playerKey("\xFF\x01", CaseMapping::Ascii).size(), 2) << "one character per byte";
    EXPECT_EQ(caseMappingNamed("ASCII"), CaseMapping::Ascii);
    EXPECT_EQ(caseMappingNamed("strict-rfc1459"), CaseMapping::StrictRfc1459);
    EXPECT_EQ(caseMappingNamed("rfc7613"), CaseMapping::Rfc1459);
}

} // namespace

// Chat.txt: what it may say, what each fault reports, and how the chat library picks its world from
// it. The files an installed card uses: Chat.txt from the configuration folder picks the world, and
// the list --help prints names each file where it is, and says which are not there yet.

#include "chat/dapi.h"
#include "chat/irc_backend.h"
#include "chat/irc_module.h"
#include "clock/virtual_clock.h"
#include "irc/irc_config.h"
#include "settings/settings_file.h"
#include "shell/file_locations.h"
#include "shell/world_choice.h"
#include "support/player_home.h"
#include "support/qt_printers.h"
#include "support/test_files.h"
#include "world/chat_world.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace jackwell {
namespace {

using testing::writeFile;

// The keys read shown as "server|port|tls|nick|password|channel|sasl account password|tlscert
// tlskey tlsca|holds a secret"; files are named relative to the configuration's folder, /home/p.
TEST(IrcConfig, readsTheKeysWithTheirDefaults) {
    const std::tuple<const char*, QByteArray, QString> rows[] = {
        {"the two required keys", "server = irc.example.net\nnick = Player\n",
         "irc.example.net|6667|no|Player|||0  |  |no"},
        {"every key, CR LF, comments, blanks and odd spacing",
         "\xEF\xBB\xBF# my network\r\n\r\n  server=10.0.0.1  \r\nport = 7000\r\nTLS = Yes\r\n"
         "nick\t=\tP[1]\r\n   # indented comment\r\npassword = two words\r\nchannel = #casino\r\n",
         "10.0.0.1|7000|yes|P[1]|two words|#casino|0  |  |yes"},
        {"tls alone moves the port to 6697", "server = a\nnick = b\ntls = yes\n",
         "a|6697|yes|b|||0  |  |no"},
        {"a value may hold '='", "server = a\nnick = b\npassword = x=y\n",
         "a|6667|no|b|x=y||0  |  |yes"},
        {"a login with a password: the rest of the line",
         "server = a\nnick = b\nsasl = alice  pass word \n",
         "a|6667|no|b|||1 alice pass word|  |yes"},
        {"a login with the client certificate",
         "server = a\nnick = b\ntls = yes\nsasl = EXTERNAL\ntlscert = me.pem\n"
         "tlskey = /keys/me.key\ntlsca = ca.pem\n",
         "a|6697|yes|b|||2  |/home/p/me.pem /keys/me.key /home/p/ca.pem|no"},
        {"every letter a host name may hold, the lowest port, a short login",
         "server = Zz-A9:_.b\nnick = b\nport = 1\nsasl = A pw\n",
         "Zz-A9:_.b|1|no|b|||1 A pw|  |yes"},
    };
    for (const auto& [name, text, keys] : rows) {
        SCOPED_TRACE(name);
        const IrcConfigResult result = parseIrcConfig(text, "Chat.txt", "/home/p");
        ASSERT_TRUE(result.config) << result.error;
        EXPECT_TRUE(result.error.isEmpty());
        const IrcConfig& c = *result.config;
        EXPECT_EQ(
            QStringList({c.server, QString::number(c.port), c.tls ? "yes" : "no", c.nick,
                         c.password, c.channel,
                         QString::number(int(c.sasl)) + ' ' + c.saslAccount + ' ' + c.saslPassword,
                         c.tlsCertPath + ' ' + c.tlsKeyPath + ' ' + c.tlsCaPath,
                         c.holdsSecret() ? "yes" : "no"})
                .join('|'),
            keys);
    }
}

TEST(IrcConfig, aFaultNamesTheFileTheLineAndWhatIsWrong) {
    const QByteArray base = "server = irc.example.net\nnick = Player\n";
    const std::vector<std::pair<QByteArray, QString>> rows = {
        {"server irc.example.net\n", "Chat.txt, line 1: expected \"key = value\""},
        {"\007bell\rli\tne\n",
         "Chat.txt, line 1: expected \"key = value\", found \"\\x07bell\\rli\\tne\""},
        {base + "sever = x\n", "Chat.txt, line 3: unknown key \"sever\""},
        {base + "= x\n", "Chat.txt, line 3: unknown key \"\""},
        {base + "\n# x\nnick = Other\n", "Chat.txt, line 5: nick is given a second time"},
        {base + "port =\n", "Chat.txt, line 3: port has no value"},
        {base + "port = 70000\n", "Chat.txt, line 3: port \"70000\" is not a number"},
        {base + "port = 66a\n", "Chat.txt, line 3: port \"66a\" is not a number"},
        {base + "tls = maybe\n", "Chat.txt, line 3: tls must be yes or no"},
        {"server = a\nnick = 9lives\n", "Chat.txt, line 2: nick \"9lives\" is not a valid"},
        {"server = a\nnick = Two Words\n", "Chat.txt, line 2: nick \"Two Words\" is not a valid"},
        {"server = a b\nnick = P\n", "Chat.txt, line 1: server \"a b\" is not a host name"},
        // A value is shown up to 40 characters.
        {base + "channel = " + QByteArray(40, 'c'),
         "Chat.txt, line 3: channel \"" + QString(40, u'c') + "\" is"},
        {base + "channel = " + QByteArray(41, 'c'),
         "Chat.txt, line 3: channel \"" + QString(40, u'c') + "...\" is"},
        {base + "password = a\001b\n", "Chat.txt, line 3: password contains a control"},
        // A value's control characters fail it before its shape is judged.
        {base + "channel = \x1B]0;x\x07\r\n",
         "Chat.txt, line 3: channel contains a control character"},
        {base + "c\x1Bhannel = x\n", "Chat.txt, line 3: unknown key \"c\\x1Bhannel\""},
        {"nick = Player\n", "Chat.txt: no \"server = ...\" line"},
        {"server = a\n# nick = Player\n", "Chat.txt: no \"nick = ...\" line"},
        {base + "sasl = alice\n", "Chat.txt, line 3: sasl must be an account and its password"},
        {base + "sasl = internal\n", "Chat.txt, line 3: sasl must be an account and its password"},
        {base + "tlscert = c.pem\ntlskey = k.pem\n", "Chat.txt: tlscert and tlsca need tls = yes"},
        {base + "tlsca = ca.pem\n", "Chat.txt: tlscert and tlsca need tls = yes"},
        {base + "tls = yes\ntlscert = c.pem\n", "Chat.txt: tlscert and tlskey go together"},
        {base + "tls = yes\nsasl = external\n", "Chat.txt: sasl = external needs a client"},
    };
    for (const auto& [text, error] : rows) {
        SCOPED_TRACE(text.toStdString());
        const IrcConfigResult result = parseIrcConfig(text, "Chat.txt");
        EXPECT_TRUE(!result.config && result.error.startsWith(error)) << result.error;
        EXPECT_TRUE(std::ranges::none_of(result.error, [](QChar c) { return c < u' '; }));
    }
    // Each value up to its bound is taken, one more is refused.
    const auto text = [&base](const char* key, qsizetype size, const QByteArray& rest = {}) {
        return base + key + " = " + QByteArray(size, 'x') + rest + "\ntls = yes\n";
    };
    for (const auto& [line, taken] :
         {std::pair{"server = " + QByteArray(253, 'x') + "\nnick = b\n", true},
          {"server = " + QByteArray(254, 'x') + "\nnick = b\n", false},
          {text("port = 65535\npassword", 400), true},
          {text("port = 0\npassword", 1), false},
          {text("port = 65536\npassword", 1), false},
          {text("password", 401), false},
          {text("sasl", 100, ' ' + QByteArray(400, 'p')), true},
          {text("sasl", 101, " p"), false},
          {text("sasl", 1, ' ' + QByteArray(401, 'p')), false},
          {text("tlsca", 4096), true},
          {text("tlsca", 4097), false}}) {
        const IrcConfigResult result = parseIrcConfig(line, "Chat.txt");
        EXPECT_EQ(result.config.has_value(), taken) << result.error;
    }
}

// A password in a file that others may read is named in a warning, as a key file would be;
// the same file made private, or one without a password, gets none. Only a regular file of a
// configuration's size is read: Chat.txt as a FIFO once held the card at start-up forever.
TEST(IrcConfig, aPasswordOthersMayReadIsWarnedOfAndOnlyARegularFileIsRead) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("Chat.txt");
    const std::tuple<QByteArray, QFile::Permissions, bool> rows[] = {
        {"server = a\nnick = b\nsasl = alice s3cret\n", QFile::ReadOwner | QFile::ReadOther, true},
        {"server = a\nnick = b\npassword = s3cret\n", QFile::ReadOwner | QFile::ReadGroup, true},
        {"server = a\nnick = b\nsasl = alice s3cret\n", QFile::ReadOwner | QFile::WriteOwner,
         false},
        {"server = a\nnick = b\n", QFile::ReadOwner | QFile::ReadOther, false},
    };
    for (const auto& [text, permissions, warned] : rows) {
        QFile::remove(path);
        ASSERT_TRUE(QFile::setPermissions(writeFile(path, text), permissions));
        const IrcConfigResult result = readIrcConfig(path);
        ASSERT_TRUE(result.config) << result.error;
        EXPECT_EQ(result.warnings.size(), warned ? 1 : 0) << text;
        for (const QString& warning : result.warnings) {
            EXPECT_TRUE(warning.contains(path) && !warning.contains("s3cret"));
        }
    }
    QFile::remove(path);
    IrcConfig secret; // set field by field: a designated initializer warns of the others
    secret.password = "pw";
    EXPECT_EQ(secretFileWarning(secret, path), "") << "a file gone, no one reads it";
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_EQ(readIrcConfig(path).error, path + ": not a regular file, not a chat configuration");
    const QString large = writeFile(QDir(dir.path()).filePath("Large.txt"), QByteArray(65537, '#'));
    EXPECT_EQ(readIrcConfig(large).error,
              large + ": larger than 65536 bytes, not a chat configuration");
}

struct ExecutableDir {
    QTemporaryDir dir;
    void write(const QByteArray& text) { writeFile(QDir(dir.path()).filePath("Chat.txt"), text); }
};

// Chat.txt picks the IRC network over the embedded world. One that cannot be used fails InitDDE;
// the library keeps the reason (file and line) for the program to show, and prints nothing.
TEST(DefaultBackend, choosesTheWorldFromChatTxtAndAMalformedOneFailsInit) {
    VirtualClock clock;
    ExecutableDir exe;
    EXPECT_TRUE(dynamic_cast<ChatWorld*>(makeDefaultBackend(clock, exe.dir.path()).get()));
    const QString chatTxt = QDir(exe.dir.path()).filePath("Chat.txt"); // others may read it
    QFile::setPermissions(writeFile(chatTxt, "server = 127.0.0.1\nnick = Player\npassword = pw\n"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(dynamic_cast<IrcBackend*>(makeDefaultBackend(clock, exe.dir.path()).get()));
    EXPECT_PRED2(textStartsWith, QString::fromStdString(::testing::internal::GetCapturedStderr()),
                 "jackwell: warning: " + chatTxt + " holds");
    // The program's way: the IRC module found beside a copy of it; without it, no link, and why.
    const QString dir = exe.dir.path();
    EXPECT_TRUE(dynamic_cast<IrcBackend*>(
        makeDefaultBackend(clock, dir, {}, ircBackendsFromModule(dir)).get()));
    const auto noModule = [](Clock&, const IrcConfig&, const QStringList&, QString* error) {
        *error = "no module";
        return std::unique_ptr<ChatPort>();
    };
    EXPECT_EQ(makeDefaultBackend(clock, dir, {}, noModule)->openError(), "no module");
    exe.write("server = 127.0.0.1\nnick = Player\ntls = sometimes\n");
    ChatLibrary library(clock, [&] { return makeDefaultBackend(clock, exe.dir.path()); });
    ::testing::internal::CaptureStderr();
    const qint16 result = library.InitDDE("Jackwell", {}, {}, {});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(result, 0);
    EXPECT_EQ(library.backend(), nullptr);
    EXPECT_PRED2(textStartsWith, library.openError(),
                 QDir(exe.dir.path()).filePath("Chat.txt") + ", line 3: tls");

    ASSERT_TRUE(QFile::remove(QDir(exe.dir.path()).filePath("Chat.txt")));
    EXPECT_EQ(library.InitDDE("Jackwell", {}, {}, {}), 0);
    EXPECT_EQ(library.openError(), "");
}

TEST(FileLocations, theHelpNamesEachFileWhereItIsAndChatTxtThereIsRead) {
    testing::PlayerHome player;
    player.install();
    const QString settings = QDir(player.configDir()).filePath("Settings.txt");
    const QString chat = QDir(player.configDir()).filePath("Chat.txt");
    const QString sounds = player.path("share/jackwell/sounds");
    VirtualClock clock;

    QString text = fileLocationsText(player.bin());
    EXPECT_TRUE(text.startsWith("Files:\n")) << text;
    EXPECT_TRUE(text.contains(settings + " (not written yet)\n")) << text;
    EXPECT_TRUE(text.contains(chat + " (not there)\n")) << text;
    EXPECT_TRUE(text.contains(sounds + "\n")) << text; // there: no remark
    EXPECT_TRUE(dynamic_cast<ChatWorld*>(makeDefaultBackend(clock, player.bin()).get()));

    QDir().mkpath(player.configDir());
    testing::writeFile(settings, serializeSettings(Options{}));
    testing::writeFile(chat, "server = 127.0.0.1\nnick = Player\n");
    text = fileLocationsText(player.bin());
    EXPECT_TRUE(text.contains(settings + "\n")) << text;
    EXPECT_TRUE(text.contains(chat + "\n")) << text;
    EXPECT_TRUE(dynamic_cast<IrcBackend*>(makeDefaultBackend(clock, player.bin()).get()));
}

} // namespace
} // namespace jackwell

// Capabilities and the SASL login, line by line as a server answers; the account tags of a sender.
#include "irc/irc_login.h"
#include "irc/irc_message.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace jackwell {
namespace {

IrcConfig configWith(IrcConfig::Sasl sasl) {
    IrcConfig config;
    config.server = "irc.test.local";
    config.nick = "alice";
    config.sasl = sasl;
    if (sasl == IrcConfig::Sasl::Plain) {
        config.saslAccount = "alice";
        config.saslPassword = "s3cretpw";
    }
    return config;
}

// Plays the server's lines to a fresh login: what the client sent, without CR LF, joined by " | ".
QByteArray play(IrcLogin& login, const QList<QByteArray>& serverLines) {
    QList<QByteArray> sent;
    auto note = [&](const QList<QByteArray>& lines) {
        for (const QByteArray& line : lines)
            sent << line.chopped(2);
    };
    note(login.begin());
    for (const QByteArray& line : serverLines) {
        const std::optional<IrcMessage> message = parseIrcLine(line);
        if (message && message->command == "001")
            login.registrationDone();
        else if (message)
            note(login.take(*message));
    }
    return sent.join(" | ");
}

TEST(IrcLogin, negotiatesAsEachServerAnswers) {
    using Sasl = IrcConfig::Sasl;
    using Outcome = IrcLogin::Outcome;
    using Lines = QList<QByteArray>;
    QByteArray tooMany = ":s CAP * LS :"; // 201 different capabilities
    for (int i = 0; i <= 200; ++i)
        tooMany += 'c' + QByteArray::number(i) + ' ';
    const struct {
        const char* name;
        Sasl sasl;
        Lines server;
        QByteArray sent;
        Outcome outcome = Outcome::Done;
        const char* refusal = "";
    } rows[] = {
        {"no login: what is wanted and offered is asked for, one capability at a time", Sasl::None,
         Lines{":s CAP * LS :away-notify account-tag sasl=PLAIN extended-join",
               ":s CAP * ACK :account-tag", ":s CAP * ACK :extended-join"},
         "CAP LS 302 | CAP REQ :account-tag | CAP REQ :extended-join | CAP END"},
        {"a list on several lines is read whole before asking", Sasl::None,
         Lines{":s CAP * LS * :message-tags", ":s CAP * LS :server-time",
               ":s CAP * ACK :message-tags", ":s CAP * NAK :server-time"},
         "CAP LS 302 | CAP REQ :message-tags | CAP REQ :server-time | CAP END"},
        {"nothing wanted on offer ends at once (a last line of * offers \"*\")", Sasl::None,
         Lines{":s CAP * LS :*"}, "CAP LS 302 | CAP END"},
        {"a welcome before any answer to CAP ends it", Sasl::None, Lines{":s 001 alice :Welcome"},
         "CAP LS 302"},
        {"a server without CAP registers as before", Sasl::None,
         Lines{":s 421 * CAP :Unknown command", ":s 001 alice :Welcome"}, "CAP LS 302"},
        {"PLAIN: the account and password go out in base64, then CAP END", Sasl::Plain,
         Lines{":s CAP * LS :sasl=EXTERNAL,PLAIN", ":s CAP * ACK :sasl", "AUTHENTICATE :+",
               ":s 900 alice alice!alice@h alice :You are now logged in as alice",
               ":s 903 alice :SASL authentication successful"},
         "CAP LS 302 | CAP REQ :sasl | AUTHENTICATE PLAIN | AUTHENTICATE "
         "YWxpY2UAYWxpY2UAczNjcmV0cHc= | CAP END"},
        {"PLAIN with a wrong password is refused with the server's reason", Sasl::Plain,
         Lines{":s CAP * LS :sasl", ":s CAP * ACK :sasl", "AUTHENTICATE +",
               ":s 904 alice :SASL authentication failed"},
         "CAP LS 302 | CAP REQ :sasl | AUTHENTICATE PLAIN | AUTHENTICATE "
         "YWxpY2UAYWxpY2UAczNjcmV0cHc=",
         Outcome::Refused, "the server refused the login as alice: SASL authentication failed"},
        {"an AUTHENTICATE nobody asked for is not answered", Sasl::Plain,
         Lines{":s CAP * LS :sasl", "AUTHENTICATE +"}, "CAP LS 302 | CAP REQ :sasl",
         Outcome::Negotiating},
        {"a login where the server offers none is refused, never skipped", Sasl::Plain,
         Lines{":s CAP * LS :account-tag", ":s CAP * ACK :account-tag"},
         "CAP LS 302 | CAP REQ :account-tag", Outcome::Refused, "the server offers no SASL login"},
        {"a login the server will not enable is refused", Sasl::Plain,
         Lines{":s CAP * LS :sasl", ":s CAP * NAK :sasl"}, "CAP LS 302 | CAP REQ :sasl",
         Outcome::Refused, "the server offers no SASL login"},
        {"a mechanism not on offer is refused before trying", Sasl::Plain,
         Lines{":s CAP * LS :sasl=EXTERNAL", ":s CAP * ACK :sasl"}, "CAP LS 302 | CAP REQ :sasl",
         Outcome::Refused, "the server offers no SASL PLAIN login (only EXTERNAL)"},
        {"a server without CAP cannot log anyone in", Sasl::Plain,
         Lines{":s 421 * CAP :Unknown command"}, "CAP LS 302", Outcome::Refused,
         "the server offers no login (it knows no CAP)"},
        {"a welcome before the login settles it as refused", Sasl::Plain,
         Lines{":s 001 alice :Welcome"}, "CAP LS 302", Outcome::Refused,
         "the server registered the connection without a login"},
        {"EXTERNAL answers the server's + with an empty response", Sasl::External,
         Lines{":s CAP * LS :sasl=EXTERNAL,PLAIN", ":s CAP * ACK :sasl", "AUTHENTICATE +",
               ":s 903 alice :SASL authentication successful"},
         "CAP LS 302 | CAP REQ :sasl | AUTHENTICATE EXTERNAL | AUTHENTICATE + | CAP END"},
        {"EXTERNAL refused names the certificate", Sasl::External,
         Lines{":s CAP * LS :sasl", ":s CAP * ACK :sasl", "AUTHENTICATE +",
               ":s 904 alice :SASL authentication failed"},
         "CAP LS 302 | CAP REQ :sasl | AUTHENTICATE EXTERNAL | AUTHENTICATE +", Outcome::Refused,
         "the server refused the login with the client certificate: SASL authentication failed"},
        {"a list in sixteen lines is read", Sasl::None,
         Lines(15, ":s CAP * LS * :a") + Lines{":s CAP * LS :b"}, "CAP LS 302 | CAP END"},
        {"a list of capabilities that never ends fails the attempt", Sasl::None,
         Lines(1000, ":s CAP * LS * :a b c d e f g h i j k l m n o p q r s t"), "CAP LS 302",
         Outcome::Failed, "the server's list of capabilities never ends"},
        {"a list of two hundred is read", Sasl::None, Lines{tooMany.left(tooMany.indexOf(" c200"))},
         "CAP LS 302 | CAP END"},
        {"a list of more than two hundred fails the attempt", Sasl::None, Lines{tooMany},
         "CAP LS 302", Outcome::Failed, "the server's list of capabilities never ends"},
        {"a login asked for over and over fails the attempt", Sasl::External,
         Lines{":s CAP * LS :sasl", ":s CAP * ACK :sasl"} + Lines(1000, "AUTHENTICATE +"),
         "CAP LS 302 | CAP REQ :sasl | AUTHENTICATE EXTERNAL | AUTHENTICATE + | AUTHENTICATE +",
         Outcome::Failed, "the server asked for the login over and over"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        IrcLogin login(configWith(row.sasl));
        EXPECT_EQ(play(login, row.server), row.sent);
        EXPECT_EQ(login.outcome(), row.outcome);
        EXPECT_EQ(login.refusal(), QString::fromLatin1(row.refusal));
        EXPECT_FALSE(login.refusal().contains("s3cretpw"));
    }
}

TEST(IrcLogin, notesTheAccountAndTheCapabilitiesEnabled) {
    IrcLogin login(configWith(IrcConfig::Sasl::Plain));
    play(login, {":s CAP * LS :sasl account-tag", ":s CAP * ACK :sasl echo -echo",
                 ":s CAP * ACK :account-tag", "AUTHENTICATE +",
                 ":s 900 alice alice!a@h Alice :Logged in", ":s 903 alice :ok"});
    EXPECT_EQ(login.account(), "Alice");
    EXPECT_EQ(login.enabled(), QSet<QByteArray>({"sasl", "account-tag"}));
}

// A response of 400 characters or more goes in pieces, with "+" after one ending on a piece's edge.
TEST(IrcLogin, cutsALongResponseIntoPieces) {
    // The password's length, and the characters of each piece's payload.
    const std::tuple<qsizetype, QList<qsizetype>> rows[] = {
        {8, {16}},
        {296, {400, 1}}, // 300 bytes are exactly 400 base64 characters
        {297, {400, 4}},
    };
    for (const auto& [passwordBytes, expected] : rows) {
        const QList<QByteArray> lines =
            IrcLogin::plainResponseLines("a", QByteArray(passwordBytes, 'p'));
        QList<qsizetype> pieces;
        QByteArray joined;
        for (const QByteArray& line : lines) {
            const QByteArray payload = line.mid(13).chopped(2); // "AUTHENTICATE " ... CR LF
            pieces << payload.size();
            if (payload != "+")
                joined += payload;
        }
        EXPECT_EQ(pieces, expected) << passwordBytes;
        EXPECT_EQ(QByteArray::fromBase64(joined),
                  QByteArray("a\0a\0", 4) + QByteArray(passwordBytes, 'p'));
    }
}

TEST(IrcTags, areReadWhereverTheAccountStands) {
    const std::tuple<QByteArray, std::optional<QByteArray>, QByteArray> rows[] = {
        {"@account=alice :alice!a@h PRIVMSG Rivet :hi", "alice", "PRIVMSG"},
        {"@msgid=870~1;inspircd.org/account-id=167;account=alice :alice!a@h PRIVMSG Rivet :hi",
         "alice", "PRIVMSG"},
        {"@time=2026-01-01T00:00:00.000Z :bob!b@h PRIVMSG Rivet :hi", std::nullopt, "PRIVMSG"},
        {":bob!b@h PRIVMSG Rivet :hi", std::nullopt, "PRIVMSG"},
        {"@solo;account=carol :carol!c@h JOIN #casino carol :Carol", "carol", "JOIN"},
        {"@account=a\\:b\\sc\\\\d\\ :x!x@h PRIVMSG Rivet :hi", "a;b c\\d", "PRIVMSG"},
        {"@account= :x!x@h PRIVMSG Rivet :hi", "", "PRIVMSG"},
    };
    for (const auto& [line, account, command] : rows) {
        SCOPED_TRACE(line.toStdString());
        const std::optional<IrcMessage> message = parseIrcLine(line);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->tag("account"), account);
        EXPECT_EQ(message->command, command);
        EXPECT_EQ(message->last(), command == "JOIN" ? "Carol" : "hi");
    }
}

} // namespace
} // namespace jackwell

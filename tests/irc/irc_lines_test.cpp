// IRC lines without a server: bytes read into lines and messages, lines built, chat-log lines made.

#include "chat/irc_log_lines.h"
#include "clock/virtual_clock.h"
#include "irc/irc_connection.h"
#include "irc/irc_line_reader.h"
#include "irc/irc_message.h"
#include "irc/irc_send_gate.h"
#include "support/qt_printers.h"

#include <QRandomGenerator>
#include <QStringDecoder>

#include <cstring>

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

namespace jackwell {
namespace {

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder(bytes);
    return !decoder.hasError();
}

// A parsed line shown as "prefix|COMMAND|param|param..." ("-" where it fails); garbage refused.
TEST(IrcMessage, parsesWellFormedLinesWithTheirTagsAndRefusesGarbage) {
    const std::pair<QByteArray, QByteArray> rows[] = {
        {":bob!~bob@h PRIVMSG alice :hello there\r\n", "bob!~bob@h|PRIVMSG|alice|hello there"},
        {"PING :irc.test.local", "|PING|irc.test.local"},
        {":irc.test.local 401 alice bob :No such nick",
         "irc.test.local|401|alice|bob|No such nick"},
        {"@time=2024-01-01T00:00:00Z :a!b@c privmsg #x :tagged", "a!b@c|PRIVMSG|#x|tagged"},
        {":a  JOIN   #chan  ", "a|JOIN|#chan"},
        {"NOTICE x ::colon kept", "|NOTICE|x|:colon kept"},
        {"CMD 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16",
         "|CMD|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15 16"},
        {"  Zz :first blanks, last letters, lone LF\n", "|ZZ|first blanks, last letters, lone LF"},
        {QByteArray(32, 'a') + " x", "|" + QByteArray(32, 'A') + "|x"}};
    for (const auto& [line, parsed] : rows) {
        const auto message = parseIrcLine(line);
        EXPECT_EQ(
            message
                ? (QList<QByteArray>{message->prefix, message->command} + message->params).join('|')
                : QByteArray("-"),
            parsed)
            << line.data();
    }
    for (const QByteArray& garbage : QByteArrayList{
             "", "\r\n", ":", ": PRIVMSG x :y", ":prefix-only", "12 too short", "1234 too long",
             "PRIV-MSG x", "\x01\x02\xff\xfe", "@tags-only", QByteArray(33, 'a') + " x"})
        EXPECT_FALSE(parseIrcLine(garbage)) << garbage.toPercentEncoding().data();
    // Message tags: keys with their values unescaped, a key without a value, and empty items or
    // items without a key passed over; a key given twice is looked up as it first came.
    const auto message = parseIrcLine("@;=x;account=bob;;flag;e=a\\sb\\:c\\\\d\\r\\n\\qz\\;"
                                      "account=eve :n!u@h PRIVMSG m :hi");
    ASSERT_TRUE(message);
    QByteArrayList shown;
    for (const IrcTag& tag : message->tags)
        shown << tag.key + '=' + tag.value;
    EXPECT_EQ(shown, QByteArrayList({"account=bob", "flag=", "e=a b;c\\d\r\nqz", "account=eve"}));
    EXPECT_EQ(message->tag("account"), "bob");
    EXPECT_EQ(message->tag("e"), "a b;c\\d\r\nqz");
    EXPECT_FALSE(message->tag("missing"));
    EXPECT_EQ(parseIrcLine("@a=1 PING x")->tag("a"), "1");
}

TEST(IrcMessage, randomBytesNeverCrashTheReaderOrTheParser) {
    QRandomGenerator random(20240601);
    IrcLineReader reader;
    qsizetype lines = 0;
    for (int round = 0; round < 2000; ++round) {
        QByteArray chunk(random.bounded(1, 3000), Qt::Uninitialized);
        for (char& c : chunk) // mostly printable, with line ends and control bytes
            c = random.bounded(10) == 0 ? "\r\n\0\x01 :@!"[random.bounded(8)]
                                        : char(random.bounded(256));
        for (const QByteArray& line : reader.feed(chunk)) {
            ASSERT_LE(line.size(), IrcLineReader::kMaxLineBytes);
            ASSERT_FALSE(line.contains('\n'));
            if (const auto message = parseIrcLine(line))
                (void)chatLogLine(*message);
            ++lines;
        }
    }
    EXPECT_GT(lines, 100);
}

TEST(IrcLineReader, cutsLinesAcrossChunksAndThrowsAwayOverlongOnes) {
    IrcLineReader reader;
    EXPECT_EQ(reader.feed("PING :a\r\nPRIV"), QList<QByteArray>{"PING :a"});
    EXPECT_EQ(reader.feed("MSG x :y\r"), QList<QByteArray>{});
    EXPECT_EQ(reader.feed("\nLF only\n\r\n\n"), (QList<QByteArray>{"PRIVMSG x :y", "LF only"}));

    const QByteArray huge(IrcLineReader::kMaxLineBytes * 3, 'x');
    EXPECT_TRUE(reader.feed(huge).empty());
    EXPECT_TRUE(reader.feed(huge).empty()); // still the same line
    EXPECT_EQ(reader.discardedLines(), 1) << "not kept once it is too long";
    EXPECT_EQ(reader.feed("tail of it\r\nnext\r\n"), QList<QByteArray>{"next"});

    const QByteArray longest(8192 + 512, 'y'); // the tags' room and the line's 512 bytes
    const QList<QByteArray> lines = reader.feed(longest + "\r\n" + longest + "y\n");
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0] == longest);
    EXPECT_EQ(reader.discardedLines(), 2);
    // The same in two pieces: the CR takes no room of the line's.
    EXPECT_TRUE(reader.feed(longest.first(9)).empty());
    EXPECT_EQ(reader.feed(longest.sliced(9) + "\r\n"), QList<QByteArray>{longest});
    EXPECT_TRUE(reader.feed(longest.first(9)).empty());
    EXPECT_EQ(reader.feed(longest.sliced(9) + "y\r\nz\n"), QList<QByteArray>{"z"});
}

TEST(IrcMessage, nicknamesAndChannels) {
    const QByteArray nicks[] = {"Keeper", "k39per-_[]\\`^{|}", "[bot]", QByteArray(30, 'n')};
    const QByteArray channels[] = {"#casino", "&local", "+c", '#' + QByteArray(49, 'c')};
    QList<QByteArray> neither = {"9lives",         "-dash", "",     "two words",
                                 "Keeper\r\nQUIT", "#",     "#a,b", "Grü"};
    neither << QByteArray("Kee\0per", 7) << "#bell\x07" << QByteArray(31, 'n')
            << '#' + QByteArray(50, 'c');
    for (const QByteArray& name : nicks)
        EXPECT_TRUE(isValidNickname(name) && !isChannelName(name)) << name;
    for (const QByteArray& name : channels)
        EXPECT_TRUE(!isValidNickname(name) && isChannelName(name)) << name;
    for (const QByteArray& name : neither)
        EXPECT_FALSE(isValidNickname(name) || isChannelName(name)) << name;
    EXPECT_FALSE(isValidNickname("Keeper", 5)); // the server's own limit
    EXPECT_TRUE(sameNickname("Keeper[1]", "kEEPER{1}") && sameNickname("AZ", "az") &&
                !sameNickname("Keeper", "Keeper_"));
}

TEST(IrcMessage, builtLinesCarryNoLineBreakAndNeverPass512Bytes) {
    EXPECT_EQ(ircLine("PRIVMSG", {"Keeper"}, QByteArrayView("hi")), "PRIVMSG Keeper :hi\r\n");
    EXPECT_EQ(ircLine("PRIVMSG", {"Kee per\r\n:x"}, QByteArrayView("a\r\nQUIT\0b", 9)),
              QByteArray("PRIVMSG Keeper:x :a  QUIT b\r\n"));
    EXPECT_EQ(ircLine("NICK", {":me"}), "NICK me\r\n"); // never taken for the trailing one

    const QByteArray euros = QString(600, QChar(0x20AC)).toUtf8(); // 3 bytes each
    const QByteArray line = ircLine("PRIVMSG", {"Keeper"}, QByteArrayView(euros));
    EXPECT_LE(line.size(), kIrcMaxLineBytes);
    EXPECT_GT(line.size(), kIrcMaxLineBytes - 4);
    EXPECT_TRUE(line.endsWith("\r\n") && line.count('\n') == 1 && isValidUtf8(line));
}

TEST(IrcMessage, splitKeepsEveryByteAndCutsOnlyBetweenCharacters) {
    const QList<QByteArray> texts = {"", "short", "a    b", QByteArray(1000, 'a'),
                                     QString::fromUtf8("Grüße, ☃ und 𝄞 ").repeated(40).toUtf8()};
    for (const QByteArray& text : texts) {
        for (qsizetype max : {4, 5, 7, 100, 400}) {
            SCOPED_TRACE(max);
            const QList<QByteArray> pieces = splitUtf8(text, max);
            EXPECT_EQ(pieces.join(), text);
            for (const QByteArray& piece : pieces) {
                EXPECT_FALSE(piece.isEmpty());
                EXPECT_TRUE(!piece.endsWith(' ') || &piece == &pieces.last() ||
                            piece.trimmed().isEmpty());
                EXPECT_LE(piece.size(), max);
                EXPECT_TRUE(isValidUtf8(piece));
            }
        }
    }
    // Bytes that are no characters at all are cut where the room ends, not a little before.
    const QByteArray broken(10, '\x80');
    EXPECT_EQ(splitUtf8(broken, 5), (QList<QByteArray>{broken.first(5), broken.first(5)}));
    EXPECT_EQ(splitUtf8("ab" + broken.first(6), 5),
              (QList<QByteArray>{"ab" + broken.first(3), broken.first(3)}));
}

// Texts at the very start and the very end of the memory they lie in, between pages nothing may
// read: splitting and parsing never look outside the text.
TEST(IrcMessage, splitAndParseNeverReadOutsideTheText) {
    const auto page = std::size_t(::sysconf(_SC_PAGESIZE));
    char* pages = static_cast<char*>(
        ::mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(::mprotect(pages, page, PROT_NONE), 0);
    ASSERT_EQ(::mprotect(pages + 2 * page, page, PROT_NONE), 0);
    char* const first = pages + page;
    char* const end = pages + 2 * page;
    const auto at = [](char* place, QByteArrayView bytes) {
        std::memcpy(place, bytes.data(), bytes.size());
        return QByteArrayView(place, bytes.size());
    };
    EXPECT_EQ(splitUtf8(at(first, "            "), 5), (QList<QByteArray>{"     ", "     ", "  "}));
    EXPECT_EQ(splitUtf8(at(end - 5, "hello"), 5), QList<QByteArray>{"hello"});
    for (const QByteArrayView line : {"PING x ", "@a=b ", ""})
        EXPECT_EQ(parseIrcLine(at(end - line.size(), line)).has_value(), line.startsWith('P'));
    ::munmap(pages, 3 * page);
}

// "-" where a message leaves no line in the chat log.
TEST(IrcLogLines, eachReceivedMessageBecomesItsChatLine) {
    const std::pair<QByteArray, QString> rows[] = {
        {":K!~k@h PRIVMSG Player :FIRST: [ 07 | 03 | 11 ]", "ESP from K: FIRST: [ 07 | 03 | 11 ]"},
        {":K!~k@h PRIVMSG #casino :Your machinekeeper is K", "K: Your machinekeeper is K"},
        {":bob!~b@h PRIVMSG #casino :\001ACTION waves\001", "bob: * bob waves"},
        {":bob!~b@h PRIVMSG Player :\001ACTION\001", "ESP from bob: * bob"},
        {":bob!~b@h PRIVMSG Player :\x01VERSION\x01", "<system>: bob sent a CTCP VERSION request"},
        {":bob!~b@h PRIVMSG Player :\x01 VERSION\x01", "<system>: bob sent a CTCP  request"},
        {":bob!~b@h PRIVMSG Player :\00304,12red\003 \002bold\002 tab\there",
         "ESP from bob: red bold tab here"},
        // Formatting codes vanish; a colour code with no colour before its comma ends at it.
        {":bob!~b@h PRIVMSG Player :\x16re\x1dv\x11i\x1e\x1f\x0f\x03,5x", "ESP from bob: revi,5x"},
        // Two digits at most; a background after one digit or at the end; a lone comma stays text.
        {":bob!~b@h PRIVMSG Player :\003099,199x\0034,5x\0034,x\0034,567x hi\0034,5",
         "ESP from bob: 9,199xx,x7x hi"},
        {":bob!~b@h PRIVMSG Player :caf\xe9", QString::fromUtf8("ESP from bob: café")},
        {":bob!~b@h PRIVMSG Player", "-"},
        {":irc.test.local PRIVMSG Player :server says", "<system>: server says"},
        {":bob!~b@h NOTICE Player :psst", "<system>: -bob- psst"},
        {":bob!~b@h NOTICE Player", "-"},
        {":irc.test.local NOTICE * :*** Looking up", "<system>: *** Looking up"},
        {":bob!~b@h JOIN :#casino", "<system>: bob joined #casino"},
        {":bob!~b@h PART #casino :bye", "<system>: bob left #casino (bye)"},
        {":bob!~b@h QUIT :Client exited", "<system>: bob quit (Client exited)"},
        {":bob!~b@h NICK rob", "<system>: bob is now known as rob"},
        {":op!~o@h KICK #casino bob :rude", "<system>: bob was kicked from #casino by op (rude)"},
        {":op!~o@h KICK #casino bob", "<system>: bob was kicked from #casino by op"},
        {":op!~o@h KICK #casino", "-"},
        {":op!~o@h TOPIC #casino :luck", "<system>: op set the topic of #casino to: luck"},
        {":op!~o@h TOPIC #casino", "-"},
        {":srv 401 Player bob :No such nick or channel name",
         "<system>: bob: No such nick or channel name"},
        {":irc.test.local 001 Player :Welcome!", "<system>: Welcome!"},
        {":irc.test.local 001 Player", "-"},
        {"ERROR :Closing connection", "<system>: Error from the server: Closing connection"},
        {"PING :irc.test.local", "-"},
        {":bob!~b@h MODE #casino +o bob", "-"}};
    for (const auto& [line, logged] : rows) {
        const auto message = parseIrcLine(line);
        ASSERT_TRUE(message) << line;
        EXPECT_EQ(chatLogLine(*message).value_or("-"), logged) << line;
    }
    // What the chat folds as greeting: welcome, limits, counts, message of the day, host, login.
    for (const char* greeting :
         {"001", "099", "250", "266", "372", "375", "376", "396", "422", "900", "903"})
        EXPECT_TRUE(isGreetingNumeric(greeting)) << greeting;
    for (const char* other : {"000", "100", "249", "267", "371", "373", "374", "377", "395", "397",
                              "421", "423", "899", "901", "902", "904", "NOTICE"})
        EXPECT_FALSE(isGreetingNumeric(other)) << other;
}

TEST(IrcConnection, aTakenNicknameGetsPredictableVariants) {
    const std::vector<std::pair<int, QByteArray>> rows = {
        {0, "Player"}, {1, "Player_"}, {2, "Player1"}, {3, "Player2"}, {11, "Player10"}};
    for (const auto& [tries, expected] : rows)
        EXPECT_EQ(IrcConnection::nickVariant("Player", tries, 30), expected);
    EXPECT_EQ(IrcConnection::nickVariant("Player", 1, 6), "Playe_"); // within the limit
    EXPECT_EQ(IrcConnection::nickVariant("Player", 1, 1), "P_");     // one letter at least
}

TEST(IrcSendGate, letsABurstThroughThenPacesAndHoldsWhileClosed) {
    VirtualClock clock;
    QList<QByteArray> written;
    IrcSendGate gate(clock, [&](const QByteArray& line) { written.append(line); });
    gate.push("held");
    EXPECT_TRUE(written.isEmpty()); // closed until a connection is registered
    gate.setOpen(true);
    for (int i = 1; i < 8; ++i)
        gate.push(QByteArray::number(i));
    EXPECT_EQ(written.size(), 4); // a burst of four, then a line every half second
    EXPECT_TRUE(gate.isHeldBack());
    clock.advance(499); // lost and registered again: the next line still goes at 500 ms
    gate.setOpen(false);
    gate.setOpen(true);
    clock.advance(1);
    EXPECT_EQ(written.size(), IrcSendGate::kBurst + 1);
    clock.advance(499);
    EXPECT_EQ(written.size(), IrcSendGate::kBurst + 1) << "the next, a whole turn later";
    gate.setOpen(false);
    clock.advance(10 * IrcSendGate::kRefillMs);
    EXPECT_EQ(written.size(), IrcSendGate::kBurst + 1);
    gate.setOpen(true);
    clock.advance(10 * IrcSendGate::kRefillMs + IrcSendGate::kRefillMs / 2);
    EXPECT_FALSE(gate.isHeldBack());
    EXPECT_EQ(written, (QList<QByteArray>{"held", "1", "2", "3", "4", "5", "6", "7"}));
    // A full bucket banks no time: full since opened 499 ms before, a burst goes, the next waits.
    gate.setOpen(true);
    clock.advance(499);
    for (int i = 0; i <= IrcSendGate::kBurst; ++i)
        gate.push("more");
    clock.advance(499);
    EXPECT_EQ(written.size(), 8 + IrcSendGate::kBurst);
    // Nor does it lose any: a line pushed 200 ms after a turn goes, the next at the turn after.
    clock.advance(701);
    gate.push("late");
    gate.push("next"); // and nothing wakes the gate in between, nor once all went
    EXPECT_EQ(clock.nextDueIn(), 300);
    EXPECT_EQ((clock.advance(300), written.size()), 11 + IrcSendGate::kBurst);
    EXPECT_EQ(clock.nextDueIn(), -1);
}

} // namespace
} // namespace jackwell

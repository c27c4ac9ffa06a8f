// The shared chat log: a line stays one line, greetings stay with it, the oldest make room.

#include "chat/chat_log.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace jackwell {
namespace {

QStringList linesOf(const ChatLog& log) {
    return QString::fromUtf8(log.lines()).split("\r\n");
}

QList<int> greetingsOf(const ChatLog& log) {
    QList<int> greetings;
    for (qsizetype index = 0; index <= log.lineCount(); ++index) // one past the end: none
        greetings.append(log.greetingOf(index));
    return greetings;
}

// No line end, NUL or other break splits a line; each line goes on as the log holds it, greeted.
TEST(ChatLog, keepsEachLineOneLineAndHandsItOnAsHeld) {
    ChatLog log;
    QStringList added;
    log.setLineAdded([&](const QString& line, int greeting) {
        added.append(line + u'#' + QString::number(greeting));
    });
    log.appendLine(QStringLiteral("a\rb\nc") + QChar(u'\0') + u'd');
    log.appendSystem("v\vf\fn\u0085l\u2028p\u2029.");
    log.appendLine("Welcome", 1);
    EXPECT_EQ(log.lines(),
              QStringLiteral("a b c d\r\n<system>: v\u21B5f\u21B5n\u21B5l\u21B5p\u00B6."
                             "\r\nWelcome")
                  .toUtf8());
    EXPECT_EQ(log.lineCount(), 3);
    EXPECT_EQ(added, QStringList({"a b c d#0", "<system>: v\u21B5f\u21B5n\u21B5l\u21B5p\u00B6.#0",
                                  "Welcome#1"}));
    log.appendLine(QString(8 * 1024 * 1024 - log.lines().size() - 2, u'x')); // its room: 8 MiB
    EXPECT_EQ(log.lineCount(), 4);
    log.appendLine(QString()); // a byte too many
    EXPECT_EQ(log.lineCount(), 1);
}

// Past the bound whole lines go from the front till a quarter is free, greetings with their lines.
TEST(ChatLog, dropsTheOldestWholeLinesPastItsBoundAndKeepsGreetingsWithTheirLines) {
    ChatLog log(100); // room for 75 bytes once it has made room
    log.appendLine(QString());
    for (int line = 1; line <= 12; ++line)
        log.appendLine(QStringLiteral("line-%1").arg(line, 2, 10, QChar(u'0')),
                       line >= 5 && line <= 7 ? 1
                       : line == 10           ? 2
                                              : 0);
    // 12 * 9 bytes, 8 over: the empty line and line-01 .. line-04 go.
    EXPECT_EQ(linesOf(log).first(), "line-05");
    EXPECT_TRUE(log.lineCount() == 8 && log.lines().size() == 70) << log.lines().size();
    EXPECT_EQ(greetingsOf(log), QList<int>({1, 1, 1, 0, 0, 2, 0, 0, 0}));

    // Three more lines reach 97 bytes; a fourth (106) makes room down to 70 again.
    for (int line = 13; line <= 16; ++line)
        log.appendLine(QStringLiteral("line-%1").arg(line), line == 14 ? 3 : 0);
    EXPECT_EQ(linesOf(log), QStringList({"line-09", "line-10", "line-11", "line-12", "line-13",
                                         "line-14", "line-15", "line-16"}));
    EXPECT_EQ(greetingsOf(log), QList<int>({0, 2, 0, 0, 0, 3, 0, 0, 0}));

    // A line longer than the bound is kept whole, alone.
    log.appendLine(QString(120, u'x'), 4);
    EXPECT_EQ(linesOf(log), QStringList(QString(120, u'x')));
    EXPECT_EQ(log.lineCount(), 1);
    EXPECT_EQ(greetingsOf(log), QList<int>({4, 0}));

    // Lines of seven bytes joined by CR LF (43 bytes for five): at its bound a log keeps them all;
    // past it, it stops at the first cut that leaves three quarters (34 of 45 bytes: four lines).
    for (const auto& [bound, appended, kept] : {std::tuple{43, 5, 5}, std::tuple{45, 6, 4}}) {
        ChatLog small(bound);
        for (int line = 1; line <= appended; ++line)
            small.appendLine(QStringLiteral("line-%1").arg(line, 2, 10, QChar(u'0')));
        EXPECT_EQ(small.lineCount(), kept) << bound;
    }
}

} // namespace
} // namespace jackwell

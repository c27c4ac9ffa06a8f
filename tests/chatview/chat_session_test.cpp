// The chat window's logic without widgets: kinds, typing, the state line, the growing session.

#include "chatview/chat_input.h"
#include "chatview/chat_line_look.h"
#include "chatview/chat_session.h"
#include "chatview/link_status_text.h"
#include "chatview/shown_line.h"
#include "machine/texts.h"
#include "support/card_rig.h"

#include <ranges>

namespace jackwell {
namespace {

using Kind = ChatLineKind;
using namespace Qt::StringLiterals;

TEST(ChatLineLook, tellsTheKindsApartAndMarksOwnAndKeeperLines) {
    const std::tuple<const char*, ChatLineLook> rows[] = {
        {"ESP from Rivet: FIRST: | 02 | 02 | 04 |", {Kind::PrivateFrom, "Rivet", false, true}},
        {"ESP to Rivet: I hold 1,1,0", {Kind::PrivateTo, "Rivet", true, true}},
        {"ESP to Oskar: hi", {Kind::PrivateTo, "Oskar", true, false}},
        {"ESP from Mabel: psst", {Kind::PrivateFrom, "Mabel", false, false}},
        {"Rivet: Your machinekeeper is Rivet.", {Kind::Public, "Rivet", false, true}},
        {"Oskar: Evening all.", {Kind::Public, "Oskar", false, false}},
        {"player: hello", {Kind::Public, "player", true, false}}, // names compare without case
        {"rivet: not the keeper", {Kind::Public, "rivet", false, false}}, // the card's exact name
        {"<system>: Oskar has left the world.", {Kind::System, "", false, false}},
        {"<system>: Your machinekeeper is always on duty", {Kind::System, "", false, false}},
        {"ESP fromX: odd", {Kind::PrivateFrom, "", false, false}}, // cut as the card cuts it
        {"a line without a speaker", {Kind::Public, "", false, false}},
    };
    for (const auto& [line, look] : rows)
        EXPECT_EQ(lookOf(line, "Player", "Rivet"), look) << line;
    EXPECT_FALSE(lookOf("Rivet: hello", "Player", "").keeper); // no keeper known yet
}

TEST(ChatInput, plainTextIsPublicAndCommandsAreRead) {
    using K = ChatInput::Kind;
    const std::tuple<const char*, K, const char*, const char*> rows[] = {
        {"Evening all", K::Public, "", "Evening all"},
        {"  spaced  ", K::Public, "", "  spaced  "},
        {"", K::Nothing, "", ""},
        {"   ", K::Nothing, "", ""},
        {"/msg Rivet Register me!", K::Private, "Rivet", "Register me!"},
        {"/MSG  Rivet  two blanks", K::Private, "Rivet", " two blanks"},
        {"/msg Rivet I hold 1,0,1", K::Private, "Rivet", "I hold 1,0,1"},
        {"//not a command", K::Public, "", "/not a command"},
        {"/me waves  twice", K::Action, "", "waves  twice"},
        {"/join #casino", K::Join, "#casino", ""},
        {"/JOIN casino", K::Join, "#casino", ""},
        {"/join &local", K::Join, "&local", ""},
        {"/nick  Gambler", K::Nick, "Gambler", ""},
        {"/query Rivet", K::Query, "Rivet", ""},
        {"/query Rivet I hold 1,0,1", K::Query, "Rivet", "I hold 1,0,1"},
        {"/query", K::Query, "", ""},
        {"/help me", K::Help, "me", ""},
    };
    for (const auto& [typed, kind, recipient, text] : rows) {
        SCOPED_TRACE(typed);
        const ChatInput input = parseChatInput(typed);
        EXPECT_EQ(input.kind, kind);
        if (kind != K::Nothing) {
            EXPECT_EQ(input.recipient, recipient);
            EXPECT_EQ(input.text, text);
        }
    }
    // Each fault says what was not done and how the command goes.
    const std::pair<const char*, const char*> faults[] = {
        {"/msg", "/msg NAME text"},           {"/msg Rivet", "/msg NAME text"},
        {"/msg Rivet   ", "/msg NAME text"},  {"/me ", "/me text"},
        {"/join", "/join #channel"},          {"/nick", "/nick NAME"},
        {"/quit", "/help lists the commands"}};
    for (const auto& [typed, hint] : faults) {
        const ChatInput input = parseChatInput(typed);
        EXPECT_EQ(input.kind, K::Fault) << typed;
        EXPECT_TRUE(input.text.startsWith("Not ")) << input.text;
        EXPECT_TRUE(input.text.contains(hint)) << input.text;
    }
}

// A line shows as one line, cut when long; symbol pictures go where the card reads codes.
TEST(ShownLine, marksBreaksCutsLongLinesAndPlacesTheSymbols) {
    const std::pair<QString, QString> shown[] = {
        {"Oskar: hi", "Oskar: hi"},
        {u"Oskar: a\u2029ESP from Rivet: b\u2028c\u0085d\r\ne"_s,
         u"Oskar: a\u00B6ESP from Rivet: b\u21B5c\u21B5d\u21B5\u21B5e"_s},
        {u"x\uFDD0\uFFFCy"_s, u"x\uFFFD\uFFFDy"_s},
        {QString(kLongestShownLine + 5, u'z'),
         QString(kLongestShownLine, u'z') + u" \u2026 [5 more characters]"_s},
        {QString(kLongestShownLine - 1, u'z') + u"\U0001F600"_s, // not cut inside a character
         QString(kLongestShownLine - 1, u'z') + u" \u2026 [2 more characters]"_s},
    };
    for (const auto& [line, text] : shown)
        EXPECT_EQ(shownLine(line), text) << line.left(40);

    using M = std::vector<SymbolMark>;
    const QString payouts = "ESP from Rivet: " + machine::kPayoutsHead + "25000:10000";
    const qsizetype amounts = payouts.indexOf("25000");
    // Beside the first amount three pictures of symbol 4, beside the second three of symbol 9.
    M payoutMarks(3, SymbolMark{amounts + 5, 4});
    payoutMarks.insert(payoutMarks.end(), 3, SymbolMark{amounts + 11, 9});
    const std::pair<QString, M> marks[] = {
        {"ESP from Rivet: FIRST: | 04 | 14 | 10 |", M{{27, 4}, {32, 14}, {37, 10}}},
        {"ESP from Rivet: FINAL: | 01 | 99 | 3  | Credits: (97)", M{{27, 1}, {37, 3}}},
        {"Rivet: FIRST: | 04 | 14 | 10 |", M{}}, // the card reads draws from private lines only
        {"ESP from <system>: FIRST: | 04 | 14 | 10 |", M{}},
        {payouts, payoutMarks},
    };
    for (const auto& [line, expected] : marks)
        EXPECT_EQ(symbolMarks(line), expected) << line;
    const QString table = "ESP from Rivet: " + machine::kPayoutsHead + QString("1:").repeated(16);
    EXPECT_EQ(symbolMarks(table + "1:"), symbolMarks(table)) << "an amount past the table's rows";
}

using S = ChatLinkStatus::State;
ChatLinkStatus link(S state, QString server = {}, QString channel = {},
                    std::optional<qint64> next = {}, std::optional<double> since = {}) {
    return {state, server, "Player", channel, next, since};
}

TEST(LinkStatusText, saysHowTheLinkStands) {
    const QString irc = "irc.example.net:6667";
    const std::tuple<ChatLinkStatus, const char*, bool> rows[] = {
        {link(S::Embedded), "Embedded world", false},
        {link(S::Connected, irc, "#c"), "Connected to irc.example.net:6667 as Player in #c", false},
        {link(S::Connected, irc), "Connected to irc.example.net:6667 as Player", false},
        {link(S::Reconnecting, irc, "", 2001),
         "Reconnecting to irc.example.net:6667 (next try in 3 s)", true},
        {link(S::Reconnecting, irc, "", 0), "Reconnecting to irc.example.net:6667 (trying now)",
         true},
        {link(S::Offline, irc, "", 30000, 14 * 3600 + 2 * 60 + 59.9),
         "Offline since 14:02 (next try in 30 s)", true},
        {link(S::Offline, irc, "", {}, 9 * 60.0), "Offline since 00:09", false},
        {link(S::Offline, irc, "", {}, 10 * 3600.0), "Offline since 10:00", false},
        {link(S::Offline, irc, "", {}, -1.0 - 3 * 86400), "Offline since 23:59", false},
        {link(S::Offline, irc, "", 1), "Offline (next try in 1 s)", true},
        {ChatLinkStatus(), "Offline", false},
    };
    for (const auto& [status, text, countsDown] : rows) {
        EXPECT_EQ(linkStatusText(status), text);
        EXPECT_EQ(isCountingDown(status), countsDown) << text;
    }
}

// A session on the card's transport, its sink noting what shows; it hears only what was given up.
template <typename Backend> struct SessionRig : testing::CardRig<Backend> {
    ChatSession session{this->chat, this->clock};
    std::vector<ChatSession::Line> shown;
    QStringList statuses;
    std::vector<std::pair<int, ChatSession::Line>> revealed;

    SessionRig() {
        session.setSink({[this](const ChatSession::Line& line) { shown.push_back(line); },
                         [this](const QString& text) { statuses << text; },
                         [this](int held, const ChatSession::Line& line) {
                             revealed.emplace_back(held, line);
                         }});
        if constexpr (!std::is_same_v<Backend, testing::ScriptedBackend>)
            session.attach(this->backend);
    }
    QStringList shownTexts() const {
        QStringList texts;
        for (const auto& line : shown)
            texts << line.text;
        return texts;
    }
};

TEST(ChatSession, showsTheChatSoFarThenEachLineAsItArrives) {
    SessionRig<ChatWorld> rig;
    EXPECT_EQ(rig.shownTexts(), QStringList{"<system>: Welcome to the world"});
    EXPECT_EQ(rig.session.statusText(), "Embedded world");
    rig.backend->appendPublic("Rivet", "Your machinekeeper is Rivet.");
    rig.session.setKeeperName("Rivet");
    rig.backend->appendPrivateFrom("Rivet", "Click START to see your first draw.");
    ASSERT_EQ(rig.shown.size(), 3u);
    EXPECT_FALSE(rig.shown[1].look.keeper); // not yet known when it came
    EXPECT_TRUE(rig.shown[2].look.keeper);
    EXPECT_EQ(rig.shown[2].look.kind, Kind::PrivateFrom);
    rig.backend->close(); // the window hears of each change of the world's state
    rig.backend->open({});
    EXPECT_EQ(rig.statuses, (QStringList{"Embedded world", "Offline", "Embedded world"}));
    rig.session.submit("/nick Gambler"); // the world answers that it knows one name
    EXPECT_TRUE(rig.shown.back().text.endsWith("knows you by that name."));

    rig.session.attach(nullptr); // the link closes: nothing more comes
    rig.backend->appendPublic("Oskar", "anyone?");
    EXPECT_EQ(rig.shown.size(), 4u);
    rig.session.submit("/join #casino");
    EXPECT_EQ(rig.shown.back().text, "<system>: Not done: the chat link is closed.");
    rig.session.submit("hello?");
    EXPECT_EQ(rig.shown.back().text, "<system>: Not said: the chat link is closed.");
}

// A draw to the player shows in the chat once the card showed it; a neutral line stands in before.
TEST(ChatSession, keepsEachDrawBackUntilTheCardHasShownIt) {
    SessionRig<ChatWorld> rig;
    rig.backend->appendPrivateFrom("Rivet", "FIRST: | 01 | 02 | 03 |");
    rig.backend->appendPrivateFrom("Rivet", "FINAL: | 14 | 02 | 03 | Credits: (99)");
    rig.backend->appendPublic("Rivet",
                              "FINAL: | 14 | 14 | 14 | Credits: (99)"); // not a draw of ours
    rig.backend->appendPrivateFrom("Rivet", "FIRST: | 04 | 05 | 06 |");
    const QStringList texts = rig.shownTexts();
    ASSERT_EQ(texts.size(), 5);
    EXPECT_EQ(texts.mid(1), QStringList({"Rivet sent your first draw: START shows it",
                                         "Rivet sent your final draw: FINISH shows it",
                                         "Rivet: FINAL: | 14 | 14 | 14 | Credits: (99)",
                                         "Rivet sent your first draw: START shows it"}));
    EXPECT_TRUE(rig.shown[2].pictures.empty() && rig.shown[2].look.kind == Kind::PrivateFrom);

    rig.session.drawShown("Rivet: FINAL: | 04 | 04 | 04 | Credits: (99)"); // no such line
    EXPECT_TRUE(rig.revealed.empty());
    rig.session.drawShown("Rivet: FINAL: | 14 | 02 | 03 | Credits: (99)");
    ASSERT_EQ(rig.revealed.size(), 2u);
    EXPECT_EQ(rig.revealed[0].first, rig.shown[1].heldDraw);
    EXPECT_EQ(rig.revealed[1].first, rig.shown[2].heldDraw);
    EXPECT_EQ(rig.revealed[1].second.text, "ESP from Rivet: FINAL: | 14 | 02 | 03 | Credits: (99)");
    EXPECT_EQ(rig.revealed[1].second.pictures.size(), 3u);
    rig.session.drawShown("Rivet: FINAL: | 14 | 02 | 03 | Credits: (99)");
    EXPECT_EQ(rig.revealed.size(), 2u) << "the next first draw stays held";
}

// A request the transport gave up on shows as a system line (its first 120 characters), so the
// player knows to send it again; a refusal says so without the advice. Each link's greetings are
// numbered after those of the links before it, so that the window never folds two into one.
TEST(ChatSession, tellsOfRequestsThatNeverLeftAndNumbersTheGreetingsOfEachLinkAfterTheLast) {
    testing::ScriptedBackend first, second; // links attached below, which outlive the session
    SessionRig<testing::ScriptedBackend> rig;
    rig.backend->statuses = {ChatStatus::GivenUp};
    rig.chat.sendPrivateMessage("Nobody", QString(120, u'h'));
    rig.backend->otherwise = ChatStatus::Busy;
    rig.chat.sendPrivateMessage("Rivet", QString(121, u'i'));
    rig.clock.advance(ChatTransport::kRetryBoundMs + 1000);
    ASSERT_EQ(rig.shown.size(), 2u);
    EXPECT_EQ(rig.shown[0].text, "<system>: Not sent to Nobody: \"" + QString(120, u'h') + "\".");
    EXPECT_EQ(rig.shown[1].text,
              "<system>: Not sent to Rivet: \"" + QString(120, u'i') +
                  "...\". The chat link did not take it within 10 s; send it again.");
    EXPECT_EQ(rig.shown[1].look.kind, Kind::System);

    first.appendLine("welcome", 1);
    second.appendLine("welcome back", 1);
    rig.session.attach(&first);
    rig.session.attach(&second);
    const auto greetings = rig.shown | std::views::transform(&ChatSession::Line::greeting);
    EXPECT_EQ(std::vector<int>(greetings.begin(), greetings.end()),
              (std::vector{0, 0, 0, 0, 1, 0, 0, 2}));
}

// A chat world whose link comes and goes, for the state line.
class FlakyFeedWorld final : public ChatWorld {
public:
    ChatLinkStatus status = link(S::Embedded);
    ChatLinkStatus linkStatus() const override { return status; }
};

// Counting down to the next attempt, the state line is new each second; the link back, it rests.
TEST(ChatSession, theStateLineCountsDownToTheNextAttempt) {
    SessionRig<FlakyFeedWorld> rig;
    rig.backend->status = link(S::Reconnecting, "irc:6667", "", 3000, 100.0);
    rig.backend->close(); // tells the session the status changed
    EXPECT_EQ(rig.session.statusText(), "Reconnecting to irc:6667 (next try in 3 s)");
    rig.backend->status.nextTryInMs = 1500;
    rig.clock.advance(1000);
    EXPECT_EQ(rig.session.statusText(), "Reconnecting to irc:6667 (next try in 2 s)");
    rig.backend->status = link(S::Connected, "irc:6667", "#c");
    rig.clock.advance(1000);
    EXPECT_EQ(rig.session.statusText(), "Connected to irc:6667 as Player in #c");
    EXPECT_EQ(rig.statuses.last(), rig.session.statusText());
    EXPECT_EQ(rig.clock.nextDueIn(), -1); // nothing more to count
}

} // namespace
} // namespace jackwell

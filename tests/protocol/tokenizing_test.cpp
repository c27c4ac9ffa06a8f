// Lines, their kinds, markers, speakers, announcements; a fuzz target checks the one-pass walk.

#include "protocol/chat_lines.h"
#include "protocol/handlers.h"
#include "protocol/marked_lines.h"
#include "protocol/markers.h"
#include "reels/card_state.h"
#include "support/qt_printers.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace jackwell {
namespace {

QString describe(const ChatLine& line) {
    const char* kind = line.kind == LineKind::Outgoing   ? "to|"
                       : line.kind == LineKind::Incoming ? "from|"
                                                         : "other|";
    return QLatin1String(kind) + line.text.toString();
}

// The colon is the marker of this walk: it hands over every line it reaches that holds one.
QStringList walked(Tokenizer& tokenizer, const QString& text) {
    QStringList lines;
    walkMarkedLines(tokenizer, text, {u":"},
                    [&](const ChatLine& line) { lines << describe(line); });
    return lines;
}

TEST(LineWalk, normalisesEachLineAndStopsAtTheFirstEmptyOneForTheNextCallToGoOn) {
    const std::tuple<const char*, QString, QStringList> rows[] = {
        {"three kinds",
         "ESP to Keeper: hi\r\nESP from Keeper: yo\r\nBolt: hey",
         {"to|Keeper: hi", "from|Keeper: yo", "other|Bolt: hey"}},
        {"lines behind an empty line are never examined", "a:\r\n\r\nb:\r\nc:", {"other|a:"}},
        {"a leading line break walks nothing", "\r\na:", {}},
        {"lone CR and LF stay in the line", "a:\rb\nc\r\nd:", {"other|a:\rb\nc", "other|d:"}},
        {"lower-case prefix is an other line", "esp from K: x", {"other|esp from K: x"}},
        {"any character after the prefix goes", "ESP from\tK: x", {"from|K: x"}},
        {"prefixes followed by letters",
         "ESP toKeeper: x\r\nESP fromK: y",
         {"to|eeper: x", "from|: y"}},
        {"a bare prefix leaves an empty line",
         "ESP to:\r\nESP from:\r\nz:",
         {"to|", "from|", "other|z:"}},
        {"prefix not at the start", " ESP from K: x", {"other| ESP from K: x"}},
        {"lines without the marker are passed over", "no colon\r\nb:\r\nc", {"other|b:"}},
    };
    for (const auto& [name, text, lines] : rows) {
        SCOPED_TRACE(name);
        Tokenizer tokenizer;
        EXPECT_EQ(walked(tokenizer, text), lines);
    }
    // What stands behind an empty line is left for the next call.
    Tokenizer tokenizer;
    walked(tokenizer, "a:\r\n\r\nb:\r\nc:");
    EXPECT_EQ(tokenizer.tokenRemainder().toString(), "b:\r\nc:");
    // An empty text starts no walk, so the old remainder is not walked instead.
    EXPECT_TRUE(walked(tokenizer, QString()).isEmpty());
    EXPECT_EQ(tokenizer.tokenRemainder().toString(), "b:\r\nc:");
    EXPECT_EQ(walked(tokenizer, "d:"), QStringList{"other|d:"});
    EXPECT_TRUE(tokenizer.tokenRemainder().isEmpty());
}

TEST(Message, markerSpeakerAndWindow) {
    const QString far(40000, u'x'); // lines are already normalised
    const std::tuple<const char*, QString, qsizetype, bool, QString, QString> rows[] = {
        {"speaker, and the window of p + kept", "Keeper: FIRST: 0123", 5, true, "Keeper",
         "Keeper: FIRS"},
        {"window shorter than asked", "K: FIRST: 1", 30, true, "K", "K: FIRST: 1"},
        {"first occurrence counts", "A: FIRST: B: FIRST:", 2, true, "A", "A: F"},
        {"speaker holding a colon and a blank", "K: 2: FIRST: 1", 0, true, "K: 2", "K: 2:"},
        {"speaker ending in a colon", "K:: FIRST: 1", 0, true, "K:", "K::"},
        {"marker at the start: empty speaker", ": FIRST: 1", 1, true, "", ": "},
        {"<system> is skipped", "<system>: FIRST: 1", 30, false, {}, {}},
        {"<system> with more is a speaker", "<system> x: FIRST:", 0, true, "<system> x",
         "<system> x:"},
        {"case-sensitive", "Keeper: first: 1", 30, false, {}, {}},
        {"marker past 32767", far + ": FIRST: 1", 4, true, far, far + ": FIR"},
    };
    for (const auto& [name, line, kept, found, speaker, window] : rows) {
        SCOPED_TRACE(name);
        const auto message = findMessage({line, LineKind::Other}, kFirstMarker, kept);
        ASSERT_EQ(message.has_value(), found);
        if (message) {
            EXPECT_EQ(message->speaker.toString(), speaker);
            EXPECT_EQ(message->window.toString(), window);
        }
    }
}

TEST(findMachineKeeper, theLastAnnouncementsSpeakerBecomesTheKeeper) {
    const QString typed = "typed"; // what was there: a name, or the player's typing
    // Each text, and the keeper's name it leaves in machineKeeperName and Text1.
    const std::tuple<const char*, QString, QString> rows[] = {
        {"incoming line", "ESP from Keeper: Your machinekeeper is Keeper", "Keeper"},
        {"the speaker, not the avatar named", "Rivet: Your machinekeeper is Bolt", "Rivet"},
        {"outgoing line: the avatar written to", "ESP to Rivet: Your machinekeeper is", "Rivet"},
        {"<system> changes nothing", "<system>: Your machinekeeper is Rivet", typed},
        {"later announcement wins",
         "Rivet: Your machinekeeper is\r\nBolt: hi\r\nCog: Your machinekeeper is\r\nBolt: bye",
         "Cog"},
        {"marker at the start: empty name", ": Your machinekeeper is Rivet", ""},
        {"speaker holding a colon and a blank", "Rivet: psst: Your machinekeeper is",
         "Rivet: psst"},
        {"no announcement keeps what was there", "Bolt: Your machine is ready", typed},
        {"behind an empty line is not read", "Bolt: hi\r\n\r\nRivet: Your machinekeeper is", typed},
        {"lines in front of the latest banner count",
         "Rivet: Your machinekeeper is\r\nRivet: --- Welcome to Brolt Slot Machine V2.04 ---",
         "Rivet"},
    };
    for (const auto& [name, text, keeper] : rows) {
        SCOPED_TRACE(name);
        CardState state;
        state.machineKeeperName = typed;
        state.nameBox = typed;
        Tokenizer tokenizer;
        findMachineKeeper(state, tokenizer, text);
        EXPECT_EQ(state.machineKeeperName + '|' + state.nameBox, keeper + '|' + keeper);
    }
}

} // namespace
} // namespace jackwell

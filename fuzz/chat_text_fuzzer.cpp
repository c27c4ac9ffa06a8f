// Arbitrary bytes as the chat library's delivery: cleaned as OnText cleans
// them, then walked by the three handlers into a fresh card. Beyond "no crash,
// no hang, no sanitizer report" it checks what must hold whatever the text:
// the card's numbers agree with its captions, and the one-pass walk visits
// exactly the lines a plain walk would.
//
// Input: one byte of flags, then the delivered bytes.
//   bit 0  the credits show "100" before the walk (the offer is then refused)
//   bit 1  also cut the text with getToken at a delimiter taken from its front,
//          bits 2-3 giving the delimiter's length (0 to 3)

#include "chat/transport.h"
#include "protocol/chat_lines.h"
#include "protocol/get_token.h"
#include "protocol/handlers.h"
#include "protocol/marked_lines.h"
#include "protocol/markers.h"
#include "reels/card_state.h"
#include "reels/payouts_state.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace jackwell;

void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

void checkCard(const CardState& state) {
    check(state.machineKeeperName == state.nameBox, "the name box shows the machinekeeper");
    check(tokensFor(state.credits) == std::optional<QString>(state.tokens),
          "the tokens are the credits times 50");
    for (int i = 0; i < 3; ++i) {
        const Reel& reel = state.reels[i];
        check(state.drawCodes[i] == codeValue(reel.firstCode), "first draw code read back");
        check(state.drawCodes[3 + i] == codeValue(reel.finalCode), "final draw code read back");
        const int image = reel.resultPicture.image;
        check(image == kInitialResultImage || image == symbolImage(state.drawCodes[i]) ||
                  image == symbolImage(state.drawCodes[3 + i]),
              "the result picture shows a drawn symbol");
        check(reel.firstCode.size() <= 2 && reel.finalCode.size() <= 2, "codes of two characters");
    }
}

// The lines a plain walk meets that hold one of the markers, normalised.
QStringList plainMarkedLines(const QString& text, std::initializer_list<QStringView> markers,
                             QString& remainder) {
    QStringList lines;
    Tokenizer tokenizer;
    if (!text.isEmpty()) {
        const QString lineBreak = QStringLiteral("\r\n");
        for (QString line = tokenizer.getToken(text, lineBreak); !line.isEmpty();
             line = tokenizer.getToken(QString(), lineBreak)) {
            for (QStringView marker : markers) {
                if (line.contains(marker)) {
                    const ChatLine normal = normaliseLine(line);
                    lines << QString::number(int(normal.kind)) + normal.text.toString();
                    break;
                }
            }
        }
    }
    remainder = tokenizer.tokenRemainder().toString();
    return lines;
}

void checkWalk(const QString& text, std::initializer_list<QStringView> markers) {
    QString plainRemainder;
    const QStringList expected = plainMarkedLines(text, markers, plainRemainder);
    QStringList visited;
    Tokenizer tokenizer;
    walkMarkedLines(tokenizer, text, markers, [&](const ChatLine& line) {
        visited << QString::number(int(line.kind)) + line.text.toString();
    });
    check(visited == expected, "the one-pass walk visits the plain walk's marked lines");
    check(tokenizer.tokenRemainder() == plainRemainder, "both walks leave the same remainder");
}

void checkCutting(const QString& text, int delimiterLength) {
    const QString delimiter = text.left(delimiterLength);
    const QString rest = text.mid(delimiter.size());
    if (rest.isEmpty())
        return;
    Tokenizer tokenizer;
    QStringView expected(rest);
    QString piece = tokenizer.getToken(rest, delimiter);
    for (int pieces = 0; pieces < 1000; ++pieces) {
        const qsizetype at = delimiter.isEmpty() ? 0 : expected.indexOf(delimiter);
        check(piece == (at < 0 ? expected : expected.left(at)), "getToken cuts at the delimiter");
        expected = at < 0 ? QStringView() : expected.mid(at + delimiter.size());
        check(tokenizer.tokenRemainder() == expected, "getToken keeps the rest");
        if (expected.isEmpty() || delimiter.isEmpty())
            break;
        piece = tokenizer.getToken(QString(), delimiter);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const uint8_t flags = data[0];
    const QByteArray delivered(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QString text = ChatTransport::cleanChatText(delivered);

    CardState state;
    PayoutsState payouts;
    Tokenizer tokenizer;
    if (flags & 1) {
        state.credits = QStringLiteral("100");
        state.tokens = QStringLiteral("(5000)");
    }
    findMachineKeeper(state, tokenizer, text);
    handleFirstResult(state, payouts, tokenizer, text);
    handleFinalResult(state, tokenizer, text);
    checkCard(state);
    // Whatever a walk left behind can still be cut.
    for (int i = 0; i < 4; ++i)
        tokenizer.getToken(QString(), QStringLiteral("\r\n"));

    checkWalk(text, {kKeeperMarker});
    checkWalk(text, {kFirstMarker, kOfferMarker, kPayoutsMarker});
    checkWalk(text, {kFinalMarker});
    if (flags & 2)
        checkCutting(text, (flags >> 2) & 3);
    return 0;
}

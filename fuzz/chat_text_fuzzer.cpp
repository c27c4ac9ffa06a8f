// Arbitrary bytes as the chat library's delivery: cleaned as OnText cleans
// them, then walked by the three handlers into a fresh card. Beyond "no crash,
// no hang, no sanitizer report" it checks what must hold whatever the text:
// the card's numbers agree with its captions, and the one-pass walk visits
// exactly the lines a plain walk would.
//
// Input: one byte of flags, then the delivered bytes.
//   bit 0  the credits show "100" before the walk (the offer is then refused)
//   the other bits are not used

#include "chat/transport.h"
#include "protocol/chat_lines.h"
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
    for (const Reel& reel : state.reels) {
        const int image = reel.resultPicture.image;
        check(image == kInitialResultImage || image == symbolImage(codeValue(reel.firstCode)) ||
                  image == symbolImage(codeValue(reel.finalCode)),
              "the result picture shows a drawn symbol");
        check(reel.firstCode.size() <= 2 && reel.finalCode.size() <= 2, "codes of two characters");
    }
}

// The plain walk the one-pass walk must agree with: the text cut at every CR LF,
// first line first, up to the first empty line; each line is searched whole.
// Gives the lines that hold one of the markers, normalised, and leaves in
// `remainder` what stands behind the line that ended the walk.
QStringList plainMarkedLines(const QString& text, std::initializer_list<QStringView> markers,
                             QString& remainder) {
    QStringList lines;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype end = text.indexOf(QStringLiteral("\r\n"), at);
        const QString line = text.mid(at, end < 0 ? -1 : end - at);
        at = end < 0 ? text.size() : end + 2;
        if (line.isEmpty())
            break;
        for (QStringView marker : markers) {
            if (line.contains(marker)) {
                const ChatLine normal = normaliseLine(line);
                lines << QString::number(int(normal.kind)) + normal.text.toString();
                break;
            }
        }
    }
    remainder = text.mid(at);
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

    checkWalk(text, {kKeeperMarker});
    checkWalk(text, {kFirstMarker, kOfferMarker, kPayoutsMarker});
    checkWalk(text, {kFinalMarker});
    return 0;
}

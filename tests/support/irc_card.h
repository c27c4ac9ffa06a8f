#pragma once

// The player's program (card, chat transport, chat library over IRC) as tests on a real IRC server
// build it, with its chat log's lines, a click awaiting the chat text, the codes shown.

#include "card/card.h"
#include "chat/dapi.h"
#include "chat/irc_backend.h"
#include "chat/transport.h"
#include "clock/real_clock.h"
#include "settings/options.h"
#include "support/fakes.h"
#include "support/wait_until.h"

namespace jackwell::testing {

struct IrcCard {
    explicit IrcCard(IrcConfig chat)
        : config(std::move(chat)) {}

    // The lines of the chat log that begin with `start`.
    int logged(QByteArrayView start) const {
        const QList<QByteArray> lines =
            backend ? backend->log().lines().split('\n') : QList<QByteArray>();
        return int(std::ranges::count_if(
            lines, [&](const QByteArray& line) { return line.trimmed().startsWith(start); }));
    }
    // Runs a click that waits for the chat text, until the card has it.
    bool clickAndSettle(void (Card::*click)(), int timeoutMs = 10000) {
        (card.*click)();
        return waitUntil([&] { return !card.isWaitingForChat(); }, timeoutMs);
    }
    // The codes the card shows in a row of its reels (firstCode or finalCode).
    QString shown(QString Reel::*code, QChar separator = u' ') const {
        QStringList codes;
        for (const Reel& reel : card.state.reels)
            codes << reel.*code;
        return codes.join(separator);
    }

    RealClock clock;
    FakeSound sound;
    Options options;
    IrcConfig config;
    IrcBackend* backend = nullptr;
    ChatLibrary library{clock, [this] {
                            auto made = std::make_unique<IrcBackend>(clock, config);
                            backend = made.get();
                            return made;
                        }};
    ChatTransport transport{library, clock, "Jackwell"};
    Card card{Card::Effects{transport, clock, sound, sound, options}};
};

} // namespace jackwell::testing

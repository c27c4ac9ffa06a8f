// jackwell-pictures: draws the card and the payouts window offscreen into PNG
// files, so their look can be checked without a screen.
//   jackwell-pictures [output folder]   (default: pictures)
// Writes card.png (the card after start-up), card-game.png (a game in
// progress: codes taken, one reel held, credits shown) and payouts.png.

#include "card/card.h"
#include "chat/dapi.h"
#include "chat/transport.h"
#include "clock/virtual_clock.h"
#include "settings/options.h"
#include "shell/card_window.h"
#include "shell/payouts_window.h"
#include "sound/beeper.h"
#include "sound/sound_player.h"
#include "world/chat_world.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

namespace {

using namespace jackwell;

struct Silence final : SoundPlayer, Beeper {
    void playSound(const QString&, bool) override {}
    void stopSound() override {}
    void beep() override {}
};

bool save(QWidget& window, const QString& path) {
    const bool saved = window.grab().save(path);
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write",
                 qPrintable(path));
    return saved;
}

// A moment in a game: the first draw 07 12 04 (taken, already shown at rest),
// reel 2 held, 150 credits.
void showGame(Card& card) {
    CardState& state = card.state;
    const QString codes[3] = {QStringLiteral("7"), QStringLiteral("12"), QStringLiteral("4")};
    for (int reel = 0; reel < 3; ++reel) {
        state.reels[reel].firstCode = codes[reel];
        state.reels[reel].resultPicture = {codes[reel].toInt(), true};
        state.reels[reel].reelPicture.visible = false;
    }
    setHeld(state, 1, true);
    state.credits = QStringLiteral("150");
    state.tokens = QStringLiteral("(7500)");
    state.machineKeeperName = state.nameBox = QStringLiteral("Rivet");
    emit card.changed();
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("pictures");
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return 1;
    }

    VirtualClock clock;
    Silence silence;
    Options options;
    ChatLibrary library(clock, [] { return std::make_unique<ChatWorld>(); });
    ChatTransport transport(library, clock, "Jackwell");
    Card card({transport, clock, silence, silence, options});
    CardWindow window(card);
    card.bringToRest();
    window.show();

    bool ok = save(window, folder + QStringLiteral("/card.png"));
    card.showPayouts();
    if (PayoutsWindow* payouts = window.payoutsWindow())
        ok = save(*payouts, folder + QStringLiteral("/payouts.png")) && ok;
    else
        ok = false;
    showGame(card);
    ok = save(window, folder + QStringLiteral("/card-game.png")) && ok;
    return ok ? 0 : 1;
}

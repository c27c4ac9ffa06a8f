#include "demo_script.h"

#include "demo_picture.h"

#include "card/card.h"
#include "clock/virtual_clock.h"
#include "machine/exact_return.h"
#include "shell/card_window.h"
#include "shell/chat_window.h"
#include "shell/help_window.h"
#include "shell/jackwell_app.h"
#include "shell/options_window.h"
#include "shell/payouts_window.h"
#include "shell/program_dialogs.h"
#include "shell/program_windows.h"
#include "shell/statistics_window.h"
#include "world/embedded_world.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>

namespace jackwell::demo {

namespace {

constexpr qint64 kPatienceMs = 60'000;  // longest a step may wait for the card
constexpr int kRivetThinksMs = 1'500;   // time given for the machinekeeper's answer
constexpr int kWorldGoesOnMs = 120'000; // the world's life before the player arrives
constexpr int kChatTailLines = 14;
constexpr int kMostGames = 20; // the script plays on until a game wins, at most this many
constexpr qsizetype kStatisticsGames = 100; // games played before the statistics are pictured
constexpr QSize kStatisticsSize{520, 600};

bool reelsAtRest(const Card& card) {
    for (const Reel& reel : card.state.reels) {
        if (reel.timer.enabled)
            return false;
    }
    return !card.isWaitingForChat();
}

// A player's holds: cherries, and any symbol shown twice.
std::array<bool, 3> chooseHolds(const CardState& state) {
    std::array<int, 3> code{};
    for (int reel = 0; reel < 3; ++reel)
        code[reel] = codeValue(state.reels[reel].firstCode);
    std::array<bool, 3> hold{};
    for (int reel = 0; reel < 3; ++reel) {
        hold[reel] = code[reel] == machine::symbol::Cherries;
        for (int other = 0; other < 3; ++other)
            hold[reel] = hold[reel] || (other != reel && code[other] == code[reel]);
    }
    return hold;
}

} // namespace

void SoundLog::playSound(const QString& filename, bool) {
    lastPlayed = filename;
    std::printf("           the card plays the sound %s\n", qPrintable(filename));
}

DemoScript::DemoScript(JackwellApp& app, world::EmbeddedWorld& world, VirtualClock& clock,
                       QDir outputDir)
    : app_(app)
    , card_(app.card())
    , world_(world)
    , clock_(clock)
    , outputDir_(std::move(outputDir)) {
    connect(&card_, &Card::changed, this, [this] { ++cardChanges_; });
    steps_ = {
        [this] { return getHost(); },       [this] { return registerAndStart(); },
        [this] { return holdAndFinish(); }, [this] { return evaluation(); },
        [this] { return cardAndChat(); },   [this] { return statistics(); },
        [this] { return otherWindows(); },  [this] { return printChatLog(); },
    };
}

void DemoScript::run(std::function<void(bool)> finished) {
    finished_ = std::move(finished);
    nextStep_ = 0;
    say(QStringLiteral("The embedded world is open; its bystanders chat for a while."));
    clock_.advance(kWorldGoesOnMs);
    QTimer::singleShot(0, this, [this] { next(); });
}

void DemoScript::next() {
    if (nextStep_ == steps_.size()) {
        finished_(true);
        return;
    }
    if (!steps_[nextStep_++]()) {
        finished_(false);
        return;
    }
    if (anotherGame_) {
        // Another game, until one wins: the pictures that follow show a win.
        anotherGame_ = false;
        steps_.insert(steps_.begin() + qsizetype(nextStep_),
                      {[this] { return startNextGame(); }, [this] { return holdAndFinish(); },
                       [this] { return evaluation(); }});
    }
    QTimer::singleShot(0, this, [this] { next(); });
}

void DemoScript::say(const QString& text) const {
    const qint64 ms = clock_.monotonicMs();
    std::printf("[%02lld:%04.1f] %s\n", ms / 60'000, double(ms % 60'000) / 1000.0,
                qPrintable(text));
    std::fflush(stdout);
}

// Clicks the button's hot spot on the window, found through the card's control table, as a
// player would.
bool DemoScript::click(CardLabelRole button, const char* caption) {
    const char* hotSpot = card::designName(button);
    QWidget* spot = app_.windows().card().findChild<QWidget*>(QLatin1String(hotSpot));
    if (!spot) {
        say(QStringLiteral("FAILED: the window has no hot spot %1 (%2)")
                .arg(QLatin1String(hotSpot), QLatin1String(caption)));
        return false;
    }
    const int before = cardChanges_;
    const QPointF local = QRectF(spot->rect()).center();
    const QPointF global = spot->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(spot, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(spot, &release);
    if (cardChanges_ == before) {
        say(QStringLiteral("FAILED: the window did not take the click on %1 (%2)")
                .arg(QLatin1String(caption), QLatin1String(hotSpot)));
        return false;
    }
    say(QStringLiteral("click %1 (%2)").arg(QLatin1String(caption), QLatin1String(hotSpot)));
    return true;
}

bool DemoScript::waitUntil(const std::function<bool()>& done, const char* what) {
    if (clock_.advanceUntil(done, kPatienceMs))
        return true;
    say(QStringLiteral("FAILED: %1 did not happen within a minute").arg(QLatin1String(what)));
    return false;
}

bool DemoScript::picture(const QString& file, const QString& title) {
    const QStringList log = QString::fromUtf8(world_.log()).split(QStringLiteral("\r\n"));
    const Snapshot snapshot{title, describeCard(card_.state), log.mid(log.size() - kChatTailLines)};
    return save(composePicture(app_.windows().card(), snapshot), file);
}

bool DemoScript::save(const QImage& picture, const QString& file) const {
    const QString path = outputDir_.filePath(file);
    if (!picture.save(path)) {
        say(QStringLiteral("FAILED: cannot write %1").arg(path));
        return false;
    }
    say(QStringLiteral("picture: %1").arg(path));
    return true;
}

bool DemoScript::checkCreditsAgainstBooks() {
    const auto record = world_.books().load(world_.ownName());
    const QString booked = record ? QString::number(record->credits) : QStringLiteral("?");
    say(QStringLiteral("the card shows %1 credits; %2's books say %3")
            .arg(card_.state.credits, world_.keeper().name(), booked));
    return card_.state.credits == booked;
}

bool DemoScript::getHost() {
    if (!click(CardLabelRole::GetHost, "GET HOST") ||
        !waitUntil([this] { return !card_.isWaitingForChat(); }, "GET HOST"))
        return false;
    if (card_.state.machineKeeperName.isEmpty()) {
        say(QStringLiteral("FAILED: GET HOST found no machinekeeper"));
        return false;
    }
    say(QStringLiteral("machinekeeper found: %1").arg(card_.state.machineKeeperName));
    return picture(QStringLiteral("1-after-get-host.png"), QStringLiteral("1. After GET HOST"));
}

bool DemoScript::registerAndStart() {
    if (!click(CardLabelRole::Register, "REGISTER"))
        return false;
    clock_.advance(kRivetThinksMs);
    if (!click(CardLabelRole::Start, "START") ||
        !waitUntil([this] { return reelsAtRest(card_); }, "the first spin"))
        return false;
    const CardState& state = card_.state;
    say(QStringLiteral("first draw: %1 %2 %3")
            .arg(state.reels[0].firstCode, state.reels[1].firstCode, state.reels[2].firstCode));
    return checkCreditsAgainstBooks() && picture(QStringLiteral("2-after-register-and-start.png"),
                                                 QStringLiteral("2. After REGISTER and START"));
}

bool DemoScript::holdAndFinish() {
    const std::array<bool, 3> holds = chooseHolds(card_.state);
    for (int reel = 0; reel < 3; ++reel) {
        if (holds[reel] && !click(card::kHoldLabels[reel], "HOLD"))
            return false;
    }
    if (!click(CardLabelRole::EspHold, "ESP HOLD"))
        return false;
    clock_.advance(kRivetThinksMs);
    if (!click(CardLabelRole::Finish, "FINISH") ||
        !waitUntil([this] { return reelsAtRest(card_); }, "the final spin"))
        return false;
    const CardState& state = card_.state;
    say(QStringLiteral("final draw: %1 %2 %3")
            .arg(state.reels[0].finalCode, state.reels[1].finalCode, state.reels[2].finalCode));
    return checkCreditsAgainstBooks() &&
           picture(QStringLiteral("3-after-finish.png"), QStringLiteral("3. After FINISH"));
}

bool DemoScript::evaluation() {
    if (!waitUntil(
            [this] {
                return !card_.state.evaluationTimer.enabled && !card_.isEvaluating() &&
                       reelsAtRest(card_);
            },
            "the evaluation"))
        return false;
    const auto& ledger = world_.books().ledger();
    const qint64 won = ledger.empty() ? 0 : ledger.back().outcome.tokensWon;
    say(won > 0 ? QStringLiteral("the game paid %1 tokens").arg(won)
                : QStringLiteral("the game paid nothing"));
    // The card tells each game's outcome in the chat window as it plays the sound; the line
    // goes into the window with the next frame.
    clock_.advance(ChatWindow::kFrameMs);
    QStringList told;
    for (QTextBlock line = app_.windows().chat().logView()->document()->begin(); line.isValid();
         line = line.next()) {
        if (line.text().startsWith(QStringLiteral("Your card: ")))
            told << line.text();
    }
    if (told.size() != qsizetype(ledger.size())) {
        say(QStringLiteral("FAILED: the chat window shows the card's outcome of %1 games, not %2")
                .arg(told.size())
                .arg(ledger.size()));
        return false;
    }
    say(QStringLiteral("the chat window shows: %1").arg(told.last()));
    if (won == 0 && qsizetype(ledger.size()) < kMostGames) {
        anotherGame_ = true;
        return true;
    }
    return picture(QStringLiteral("4-after-evaluation.png"),
                   QStringLiteral("4. After the evaluation: %1")
                       .arg(won > 0 ? QStringLiteral("a win") : QStringLiteral("no win")));
}

bool DemoScript::startNextGame() {
    if (!click(CardLabelRole::Start, "START") ||
        !waitUntil([this] { return reelsAtRest(card_); }, "the first spin"))
        return false;
    const CardState& state = card_.state;
    say(QStringLiteral("first draw: %1 %2 %3")
            .arg(state.reels[0].firstCode, state.reels[1].firstCode, state.reels[2].firstCode));
    return true;
}

// The card with the chat window beside it, as the player sees them after the game: on the
// screen at twice the scale where the game was played, then moved to the smallest screen, where
// the chat window is placed beside the card again.
bool DemoScript::cardAndChat() {
    ChatWindow& chat = app_.windows().chat();
    const auto save = [&](const QString& file) {
        if (!chat.isVisible()) {
            say(QStringLiteral("FAILED: the chat window is not open beside the card"));
            return false;
        }
        clock_.advance(ChatWindow::kFrameMs); // the latest lines go in
        return DemoScript::save(
            composeDesktop({&app_.windows().card(), &chat}, app_.windows().card().screen()), file);
    };
    if (!save(QStringLiteral("5-card-and-chat-2x.png")))
        return false;
    QScreen* smallest = app_.windows().card().screen();
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->size().width() < smallest->size().width())
            smallest = screen;
    }
    app_.windows().hideChatWindow();
    app_.windows().card().move(smallest->availableGeometry().topLeft() + QPoint(24, 24));
    app_.windows().showChatWindow();
    return save(QStringLiteral("6-card-and-chat-%1x%2.png")
                    .arg(smallest->size().width())
                    .arg(smallest->size().height()));
}

// The player goes on to a hundred games, written to Rivet straight from the chat with the best
// holds (the card's reels are not spun for them), and opens the statistics.
bool DemoScript::statistics() {
    const QString player = world_.ownName();
    while (qsizetype(world_.books().ledger().size()) < kStatisticsGames) {
        const auto record = world_.books().load(player);
        QString text = QStringLiteral("Register me!");
        if (record && record->pendingFirstDraw) {
            const machine::HoldMask holds =
                machine::machineHoldValues().choices(*record->pendingFirstDraw)->front().holds;
            text = QStringLiteral("I hold %1,%2,%3")
                       .arg(int(holds[0]))
                       .arg(int(holds[1]))
                       .arg(int(holds[2]));
        }
        const qsizetype before = world_.lineCount();
        world_.sendPrivateMessage(world_.keeper().name(), text);
        if (!waitUntil([&] { return world_.pendingMessages() == 0 && world_.lineCount() > before; },
                       "Rivet's answer"))
            return false;
    }
    app_.dialogs().showStatistics();
    StatisticsWindow* window = app_.dialogs().statisticsWindow();
    window->resize(kStatisticsSize);
    say(QStringLiteral("statistics after %1 games: return %2, exact with the best holds %3")
            .arg(window->figure(QStringLiteral("Games played")),
                 window->figure(QStringLiteral("Your return")),
                 window->figure(QStringLiteral("Machine, best holds"))));
    return save(window->grab().toImage(), QStringLiteral("7-statistics.png"));
}

// The pay table, the options and the help, each as it opens from the card.
bool DemoScript::otherWindows() {
    app_.windows().card().trigger(CardAction::ShowPayouts);
    app_.dialogs().showOptions();
    app_.dialogs().showHelp();
    const std::pair<QWidget*, const char*> windows[] = {
        {app_.windows().card().payoutsWindow(), "8-payouts.png"},
        {&app_.dialogs().optionsWindow(), "9-options.png"},
        {app_.dialogs().helpWindow(), "10-help.png"},
    };
    return std::ranges::all_of(windows, [this](const auto& shown) {
        return shown.first && save(shown.first->grab().toImage(), QLatin1String(shown.second));
    });
}

bool DemoScript::printChatLog() {
    const QByteArray log = world_.log();
    std::printf("\nThe chat text at the end:\n%s\n",
                QString::fromUtf8(log)
                    .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                    .toLocal8Bit()
                    .constData());
    QFile file(outputDir_.filePath(QStringLiteral("chat-log.txt")));
    return file.open(QIODevice::WriteOnly) && file.write(log) == log.size();
}

} // namespace jackwell::demo

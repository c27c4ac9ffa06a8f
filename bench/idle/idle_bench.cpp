// What the program costs while it waits, and how its reels keep time, on the
// real clock: the card, the chat transport and the embedded chat world as the
// program wires them, with the real sound player, but no window.
//
// 1. START waits for a chat text that never comes (the chat world has dropped
//    the link, so the request is given up): CPU share over at least 10 s.
// 2. FINISH, then the evaluation's seven-second wait, again and again until the
//    waits add up to at least 10 s: CPU share over the waits. The reels' stops
//    in the first spin are timed from the moment FINISH set them spinning.
//
// Prints one line, e.g.: idle: wait-cpu=0.01% pause-cpu=0.12% stops=2.10,3.50,4.90

#include "card/card.h"
#include "chat/dapi.h"
#include "chat/transport.h"
#include "clock/real_clock.h"
#include "machine/messages.h"
#include "machine/texts.h"
#include "settings/options.h"
#include "sound/qt_sound_player.h"
#include "world/chat_world.h"

#include <QGuiApplication>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace jackwell;

namespace {

constexpr qint64 kMeasureMs = 10000;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Notes when each reel comes to rest (its beep), then beeps for real.
struct StopWatch final : Beeper {
    StopWatch(Clock& clock, Beeper& real)
        : clock(clock)
        , real(real) {}
    Clock& clock;
    Beeper& real;
    std::vector<qint64> beeps;
    void beep() override {
        beeps.push_back(clock.monotonicMs());
        real.beep();
    }
};

struct Harness {
    Harness(Clock& clock, QtSoundPlayer& sound)
        : stopWatch(clock, sound)
        , library(clock,
                  [this] {
                      auto made = std::make_unique<ChatWorld>();
                      world = made.get();
                      return made;
                  })
        , chat(library, clock, "Jackwell")
        , card({chat, clock, sound, stopWatch, options}) {
        chat.open();
        card.bringToRest();
    }
    // Both sounds on, no files: silence.
    Options options{QString(), QString(), CheckState::Clear, CheckState::Ticked,
                    CheckState::Ticked};
    StopWatch stopWatch;
    ChatWorld* world = nullptr;
    ChatLibrary library;
    ChatTransport chat;
    Card card;
};

// Measures the CPU share between two moments.
struct Span {
    double cpu = 0;
    qint64 wallMs = 0;
    double startCpu = 0;
    qint64 startMs = 0;
    void begin(const Clock& clock) {
        startCpu = cpuSeconds();
        startMs = clock.monotonicMs();
    }
    void end(const Clock& clock) {
        cpu += cpuSeconds() - startCpu;
        wallMs += clock.monotonicMs() - startMs;
    }
    double percent() const { return wallMs > 0 ? 100.0 * cpu / (wallMs / 1000.0) : 0; }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    RealClock clock;
    QtSoundPlayer sound;
    sound.beep(); // let Qt Multimedia start up before anything is measured

    Span wait, pause;
    qint64 spinStart = -1;
    std::vector<qint64> stops;
    auto waiting = std::make_unique<Harness>(clock, sound);
    auto playing = std::make_unique<Harness>(clock, sound);
    // The machinekeeper answers each game's holds with its final draw.
    playing->card.state.machineKeeperName = QStringLiteral("Rivet");
    playing->world->setPrivateMessageHook([&](const QString&, const QString& text) {
        if (text.startsWith(machine::kHoldPrefix))
            playing->world->appendPrivateFrom("Rivet", machine::finalDrawLine({7, 7, 7}, 150));
    });

    std::function<void()> finish = [&] {
        playing->card.sendHolds();
        playing->card.finish();
    };
    bool evaluating = false;
    QObject::connect(&playing->card, &Card::changed, &app, [&] {
        Card& card = playing->card;
        if (spinStart < 0 && card.state.reels[0].timer.enabled)
            spinStart = clock.monotonicMs();
        if (!evaluating && card.isEvaluating()) {
            evaluating = true;
            pause.begin(clock);
        } else if (evaluating && !card.isEvaluating()) {
            evaluating = false;
            pause.end(clock);
            if (stops.empty())
                for (qint64 at : playing->stopWatch.beeps)
                    stops.push_back(at - spinStart);
            if (pause.wallMs < kMeasureMs)
                QTimer::singleShot(0, &app, finish);
            else
                QTimer::singleShot(0, &app, &QCoreApplication::quit);
        }
    });

    // START with a known machinekeeper and a chat world that no longer answers: it waits.
    waiting->world->close();
    waiting->card.state.machineKeeperName = QStringLiteral("Rivet");
    waiting->card.start();
    wait.begin(clock);
    QTimer::singleShot(kMeasureMs, Qt::PreciseTimer, &app, [&] {
        wait.end(clock);
        if (!waiting->card.isWaitingForChat())
            std::fprintf(stderr, "idle: START stopped waiting\n");
        waiting.reset();
        finish();
    });
    app.exec();

    std::printf("idle: wait-cpu=%.2f%% pause-cpu=%.2f%% stops=", wait.percent(), pause.percent());
    for (size_t i = 0; i < stops.size(); ++i)
        std::printf("%s%.2f", i ? "," : "", stops[i] / 1000.0);
    std::printf("\n");
    std::fprintf(stderr,
                 "idle: %.1f ms CPU in %.1f s of waiting for the chat, %.1f ms CPU in %.1f s of "
                 "evaluation waits\n",
                 wait.cpu * 1000, wait.wallMs / 1000.0, pause.cpu * 1000, pause.wallMs / 1000.0);
    return stops.size() == 3 ? 0 : 1;
}

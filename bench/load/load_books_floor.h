#pragma once

#include "keeper/keeper_probe_window.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace jackwell {

class Alarm;
class Clock;

namespace load {

// The books' floor: how many games a second the run's store takes with no IRC in the way. As
// many booking loops as robots, each with books on a connection of its own and the robot's books
// worker (its thread, its batches, its wait for the disk), play games for as many players as the
// run has, back to back, through the robot's engine and store code: each game reads the
// player's delivery, then plays the holds (the engine loads the player and books the game), and
// the results are marked delivered every kMarkEveryMs, as the robot's probes have them marked.
// The books are a store of their own beside the run's (another database on the same server, or
// another file in the same folder), so the run's books stay as the robots leave them. Each player
// registers first (its first holds find no credits), which is no game.
class BooksFloor {
public:
    // Games are counted for kMeasureMs from kSettleMs after every player has been registered
    // (the new tables' first pages and the connections' first plans are no floor); a store that
    // has not registered them all within kWarmUpBudgetMs is measured from then on.
    static constexpr int kWarmUpBudgetMs = 20000;
    static constexpr int kSettleMs = 1000;
    static constexpr int kMeasureMs = 4000;
    static constexpr int kMarkEveryMs = keeper::KeeperProbeWindow::kProbeDelayMs;

    // `books`: new books, as the robot's configuration names them (a file or an address).
    BooksFloor(Clock& clock, QString books, int loops, int players);
    ~BooksFloor();

    // Measures, then `done` with the games a second, or with what went wrong.
    void measure(std::function<void(double gamesPerSecond, const QString& error)> done);

private:
    struct Loop;
    void play(Loop& loop, int player);
    void markDelivered(Loop& loop);
    void startMeasuring();
    void finish(const QString& error);

    Clock& clock_;
    QObject context_; // ends pending calls with the floor
    QString books_;
    int loops_ = 1;
    int players_ = 1;
    std::vector<std::unique_ptr<Loop>> running_;
    std::function<void(double, const QString&)> done_;
    int registered_ = 0;
    bool measuring_ = false;
    qint64 measureFromMs_ = 0;
    qint64 games_ = 0;
    bool finished_ = false;
};

} // namespace load
} // namespace jackwell

#pragma once

#include "load_run.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace jackwell {

class Alarm;
class Clock;

namespace load {

// One step of a capacity run: games offered at one rate for a few seconds.
struct CapacityStep {
    int offered = 0;   // games a second the players' schedule asked for
    double booked = 0; // games a second answered, from the first game due to the last result
    int games = 0;     // results taken
    qint64 p50Ms = 0, p99Ms = 0, maxMs = 0; // from each game's due time to its result
    int resent = 0;
    bool answered = true; // every game of the step answered before its deadline
    // Processor time per booked game (ms): the robots, the IRC server, the database server
    // with its connections (nothing apart for SQLite, which is inside the robot), this program.
    double robotsMs = 0, ircdMs = 0, databaseMs = 0, loadMs = 0;

    bool withinBounds() const { return answered && resent == 0 && p99Ms < 100; }
    QString line() const;
};

// The highest step booked with p99 under 100 ms and nothing resent (nullptr: none).
const CapacityStep* kneeOf(const std::vector<CapacityStep>& steps);

struct CapacitySettings {
    std::vector<int> rates = {25,  50,  100, 150, 200, 250,  300, 350,
                              400, 500, 600, 700, 800, 1000, 1200};
    int stepSeconds = 5;
    // What one player asks for at most: well under the robot's guard of four messages a second.
    double playerGps = 2.0;
    QString chartFolder; // where the step tables and the chart go
};

// Games offered at a rising rate, open loop: the players' holds go on a schedule, not after
// thinking, so a robot that falls behind is seen in the latency instead of slowing the players
// down. Each step offers one rate for a few seconds and waits for every answer; the run ends after
// the last rate or the first step the robots could not keep up with. Then the books are checked
// as in every run, and the steps are written as a table beside the chart of every configuration
// measured so far.
class CapacityRun : public Run {
public:
    CapacityRun(Clock& clock, RunSettings settings, CapacitySettings capacity,
                std::function<void(const QString&)> say);
    ~CapacityRun() override;

    void start(std::function<void(const RunReport&)> done) override;

private:
    struct CpuSample {
        qint64 robots = 0, ircd = 0, database = 0, self = 0;
    };

    void startKeepers(int from);
    void launchPlayers();
    void awaitPlayers(int budgetMs);
    void beginStep();
    void watchStep();
    void endStep(bool answered);
    void leave(int budgetMs);
    void finish(const QString& problem = {});
    CpuSample sampleCpu() const;
    QString label() const;
    void writeTable();

    Clock& clock_;
    QObject context_; // ends pending calls with the run
    RunSettings settings_;
    CapacitySettings capacity_;
    std::function<void(const QString&)> say_;
    LoadStack stack_;
    std::vector<std::unique_ptr<LoadPlayer>> players_;
    std::function<void(const RunReport&)> done_;
    RunReport report_;
    std::vector<CapacityStep> steps_;
    std::size_t step_ = 0;
    qint64 runStartedAtMs_ = 0;
    qint64 stepStartsAtMs_ = 0;
    CpuSample stepCpu_;
    std::vector<std::size_t> latenciesBefore_; // each player's, when the step began
    std::vector<int> resentBefore_;
    bool finished_ = false;
};

} // namespace load
} // namespace jackwell

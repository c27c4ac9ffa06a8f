#pragma once

#include "load_books.h"
#include "load_books_floor.h"
#include "load_netsplit.h"
#include "load_player.h"
#include "load_relay_floor.h"
#include "load_stack.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace jackwell {

class Alarm;
class Clock;

namespace load {

struct RunSettings {
    QString name = QStringLiteral("steady");
    int players = 100;
    int games = 20;
    int thinkMinMs = 500;
    int thinkMaxMs = 2500;
    int staggerMs = 10;      // between two players' arrivals
    bool killMidway = false; // SIGKILL the first robot when half the games are played, restart it
    int dropEvery = 0;       // every Nth player drops its connection after each hold (0: none)
    int stallMs = 0; // the database stopped (SIGSTOP) this long when half the games are played
    // Shared books on a primary with a synchronous standby: the primary killed (SIGKILL) when
    // half the games are played and the standby promoted.
    bool failover = false;
    // Two linked servers whose link is cut twice for a while (see NetsplitRun).
    bool netsplit = false;
    int restartAfterMs = 300;
    int deadlineSeconds = 240;
    QString keeperBinary;
    int robots = 1;                      // robots sharing the books, players spread over them
    BooksKind books = BooksKind::Sqlite; // more than one robot needs PostgreSQL
    int allRobotsEvery = 4;              // with several robots, every Nth player plays on all
    bool databaseSyncs = true;           // PostgreSQL's fsync
    int fastPace = 0;                    // the robot's lines a second once exempt (0: its default)
    bool floodLimits = true;             // the server's, on every client
    bool keepFiles = false;              // keep the logs and the books of a run that went well too
    quint64 seed = 1;
};

struct RunReport {
    QString name;
    int players = 0;
    int games = 0; // results taken
    double seconds = 0;
    qint64 p50Ms = 0, p99Ms = 0, maxMs = 0;
    qint64 peakKb = 0;
    // Games a second with no robot, measured before the robots start on the same servers: the
    // books alone (see BooksFloor) and the relay alone (see RelayFloor); 0 when not measured.
    double booksFloorGps = 0, relayFloorGps = 0;
    int resent = 0, toldAgain = 0, kills = 0, drops = 0, stalls = 0;
    // From the failover until every player still playing had a game booked again; -1: none.
    qint64 recoveredMs = -1;
    QString ownFields; // what a run of its own kind adds at the end of its line
    BooksCheck books;
    QStringList problems; // players that failed, a deadline passed, a process that would not start
    QString keptIn;       // the run's folder, when it was kept
    bool ok() const {
        return problems.isEmpty() && books.lost == 0 && books.doubled == 0 && books.unseen == 0 &&
               books.balanced;
    }
    QString line() const;
};

// The value at `share` (0.5: the median) of values sorted in ascending order; 0 for none.
qint64 percentile(const std::vector<qint64>& sorted, double share);

// What every kind of run does: starts, and says how it went once it is over.
class Run {
public:
    virtual ~Run() = default;
    virtual void start(std::function<void(const RunReport&)> done) = 0;
};

// One load run: server, robots, players; the first robot killed halfway when asked; then the
// books checked against what every player was told.
class LoadRun : public Run {
public:
    LoadRun(Clock& clock, RunSettings settings);
    ~LoadRun() override;

    void start(std::function<void(const RunReport&)> done) override;

private:
    void measureFloors();
    void startKeepers(int from);
    void launchPlayers();
    void watch();
    void finish(const QString& problem = {});
    int gamesDone() const;

    Clock& clock_;
    QObject context_; // ends pending calls with the run
    RunSettings settings_;
    LoadStack stack_;
    std::unique_ptr<BooksFloor> booksFloor_;
    std::unique_ptr<RelayFloor> relayFloor_;
    std::vector<std::unique_ptr<LoadPlayer>> players_;
    std::unique_ptr<Alarm> watchAlarm_;
    std::function<void(const RunReport&)> done_;
    RunReport report_;
    qint64 startedAtMs_ = 0;
    int launched_ = 0;
    bool killed_ = false;
    bool stalled_ = false;
    bool frozen_ = false;
    qint64 failedOverAtMs_ = -1;
    std::vector<int> gamesAtFailover_; // each player's, when the primary was killed
    void watchFailover(int total);
    std::unique_ptr<NetsplitRun> netsplit_;
    bool finished_ = false;
};

} // namespace load
} // namespace jackwell

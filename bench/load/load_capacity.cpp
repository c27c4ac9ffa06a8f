#include "load_capacity.h"

#include "clock/clock.h"
#include "load_chart.h"
#include "load_cpu.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <utility>

namespace jackwell::load {

namespace {

constexpr int kWatchMs = 50;
constexpr int kLeadMs = 200;           // from setting a step's schedule to its first game
constexpr int kStepGraceMs = 10000;    // a step's answers may come this long after its last game
constexpr int kPlayersReadyMs = 90000; // every player registered, with a first draw in hand
constexpr int kLeaveMs = 30000;
constexpr int kPauseMs = 1000; // between two steps

} // namespace

QString CapacityStep::line() const {
    return QStringLiteral("capacity: offered=%1 booked=%2 games=%3 p50=%4ms p99=%5ms max=%6ms "
                          "resent=%7%8 cpu-ms-per-game robots=%9 ircd=%10 database=%11 load=%12")
        .arg(offered)
        .arg(booked, 0, 'f', 1)
        .arg(games)
        .arg(p50Ms)
        .arg(p99Ms)
        .arg(maxMs)
        .arg(resent)
        .arg(answered ? QString() : QStringLiteral(" unanswered"))
        .arg(robotsMs, 0, 'f', 3)
        .arg(ircdMs, 0, 'f', 3)
        .arg(databaseMs, 0, 'f', 3)
        .arg(loadMs, 0, 'f', 3);
}

const CapacityStep* kneeOf(const std::vector<CapacityStep>& steps) {
    const CapacityStep* knee = nullptr;
    for (const CapacityStep& step : steps) {
        if (step.withinBounds() && (!knee || step.booked > knee->booked))
            knee = &step;
    }
    return knee;
}

CapacityRun::CapacityRun(Clock& clock, RunSettings settings, CapacitySettings capacity,
                         std::function<void(const QString&)> say)
    : clock_(clock)
    , settings_(std::move(settings))
    , capacity_(std::move(capacity))
    , say_(std::move(say))
    , stack_(clock, settings_.keeperBinary, settings_.robots, settings_.books, settings_.fastPace,
             settings_.floodLimits, settings_.databaseSyncs) {
    const int highest = *std::max_element(capacity_.rates.begin(), capacity_.rates.end());
    settings_.players = std::max(settings_.robots, int(std::ceil(highest / capacity_.playerGps)));
    report_.name = settings_.name;
    report_.players = settings_.players;
}

CapacityRun::~CapacityRun() = default;

QString CapacityRun::label() const {
    return QStringLiteral("%1 robot%2, %3")
               .arg(settings_.robots)
               .arg(settings_.robots > 1 ? QStringLiteral("s") : QString())
               .arg(settings_.books == BooksKind::Postgres ? QStringLiteral("PostgreSQL")
                                                           : QStringLiteral("SQLite")) +
           (settings_.fastPace > 0 ? QStringLiteral(", fastpace %1").arg(settings_.fastPace)
                                   : QString());
}

void CapacityRun::start(std::function<void(const RunReport&)> done) {
    done_ = std::move(done);
    runStartedAtMs_ = clock_.monotonicMs();
    stack_.startServer([this](const QString& error) {
        if (!error.isEmpty())
            finish(error);
        else
            startKeepers(0);
    });
}

void CapacityRun::startKeepers(int from) {
    if (from == stack_.robots()) {
        launchPlayers();
        return;
    }
    stack_.startKeeper(from, [this, from](const QString& error) {
        if (!error.isEmpty())
            finish(error);
        else
            startKeepers(from + 1);
    });
}

// Players arrive a few milliseconds apart, each on one robot, and register at once: the channel
// is left out, its joins being the server's work for every member, not a game's.
void CapacityRun::launchPlayers() {
    if (finished_)
        return;
    if (players_.size() == std::size_t(settings_.players)) {
        awaitPlayers(kPlayersReadyMs);
        return;
    }
    const int index = int(players_.size());
    LoadPlayer::Settings settings;
    settings.port = stack_.port();
    settings.keepers << LoadStack::keeperNick(index % stack_.robots());
    settings.openLoop = true;
    const QByteArray nick = "c" + QByteArray::number(index + 1).rightJustified(4, '0');
    players_.push_back(std::make_unique<LoadPlayer>(clock_, nick, settings,
                                                    settings_.seed * 10000 + index, [] {}));
    players_.back()->start();
    clock_.callAfter(settings_.staggerMs, &context_, [this] { launchPlayers(); });
}

void CapacityRun::awaitPlayers(int budgetMs) {
    if (finished_)
        return;
    if (std::all_of(players_.begin(), players_.end(),
                    [](const auto& player) { return player->isIdle(); })) {
        say_(QStringLiteral("capacity: %1, %2 players registered; %3 s a step, each player asking "
                            "for at most %4 games a second")
                 .arg(label())
                 .arg(players_.size())
                 .arg(capacity_.stepSeconds)
                 .arg(capacity_.playerGps));
        beginStep();
        return;
    }
    for (const auto& player : players_) {
        if (player->isDone()) {
            finish(QStringLiteral("%1 left before the first step: %2")
                       .arg(QString::fromLatin1(player->nick()), player->failure()));
            return;
        }
    }
    if (budgetMs <= 0) {
        finish(QStringLiteral("the players were not all registered after %1 s")
                   .arg(kPlayersReadyMs / 1000));
        return;
    }
    clock_.callAfter(kWatchMs, &context_, [this, budgetMs] { awaitPlayers(budgetMs - kWatchMs); });
}

// The step's games are due evenly spaced at its rate, handed to the players in turn.
void CapacityRun::beginStep() {
    const int rate = capacity_.rates[step_];
    const int games = rate * capacity_.stepSeconds;
    stepStartsAtMs_ = clock_.monotonicMs() + kLeadMs;
    latenciesBefore_.clear();
    resentBefore_.clear();
    for (const auto& player : players_) {
        latenciesBefore_.push_back(player->result().latenciesMs.size());
        resentBefore_.push_back(player->result().resent);
    }
    for (int game = 0; game < games; ++game) {
        players_[std::size_t(game) % players_.size()]->playAt(
            stepStartsAtMs_ + qint64(std::llround(game * 1000.0 / rate)));
    }
    stepCpu_ = sampleCpu();
    watchStep();
}

void CapacityRun::watchStep() {
    if (finished_)
        return;
    for (const auto& player : players_) {
        if (player->isDone()) {
            finish(QString::fromLatin1(player->nick()) + QStringLiteral(": ") + player->failure());
            return;
        }
    }
    if (std::all_of(players_.begin(), players_.end(),
                    [](const auto& player) { return player->isIdle(); })) {
        endStep(true);
        return;
    }
    const qint64 deadline = stepStartsAtMs_ + capacity_.stepSeconds * 1000LL + kStepGraceMs;
    if (clock_.monotonicMs() > deadline) {
        endStep(false);
        return;
    }
    clock_.callAfter(kWatchMs, &context_, [this] { watchStep(); });
}

void CapacityRun::endStep(bool answered) {
    const CpuSample cpu = sampleCpu();
    CapacityStep step;
    step.offered = capacity_.rates[step_];
    step.answered = answered;
    std::vector<qint64> latencies;
    qint64 lastResultAtMs = stepStartsAtMs_;
    for (std::size_t i = 0; i < players_.size(); ++i) {
        const LoadPlayer::Result& result = players_[i]->result();
        latencies.insert(latencies.end(),
                         result.latenciesMs.begin() + qsizetype(latenciesBefore_[i]),
                         result.latenciesMs.end());
        step.resent += result.resent - resentBefore_[i];
        if (result.latenciesMs.size() > latenciesBefore_[i])
            lastResultAtMs = std::max(lastResultAtMs, players_[i]->lastResultAtMs());
    }
    std::sort(latencies.begin(), latencies.end());
    step.games = int(latencies.size());
    step.p50Ms = percentile(latencies, 0.50);
    step.p99Ms = percentile(latencies, 0.99);
    step.maxMs = latencies.empty() ? 0 : latencies.back();
    const double seconds = std::max<qint64>(1, lastResultAtMs - stepStartsAtMs_) / 1000.0;
    step.booked = step.games / seconds;
    const double games = std::max(1, step.games);
    step.robotsMs = (cpu.robots - stepCpu_.robots) / games;
    step.ircdMs = (cpu.ircd - stepCpu_.ircd) / games;
    step.databaseMs = (cpu.database - stepCpu_.database) / games;
    step.loadMs = (cpu.self - stepCpu_.self) / games;
    say_(step.line());
    steps_.push_back(step);

    // Past the knee by far, or no rate left: the run is over.
    const bool overwhelmed = !answered || step.p99Ms >= 1000 || step.booked < 0.9 * step.offered;
    if (overwhelmed || ++step_ == capacity_.rates.size()) {
        leave(kLeaveMs);
        return;
    }
    clock_.callAfter(kPauseMs, &context_, [this] {
        if (!finished_)
            beginStep();
    });
}

// Every player leaves once its games are answered; then the books are checked.
void CapacityRun::leave(int budgetMs) {
    if (finished_)
        return;
    if (budgetMs == kLeaveMs) {
        for (const auto& player : players_)
            player->finishWhenPlayed();
    }
    const bool allGone = std::all_of(players_.begin(), players_.end(),
                                     [](const auto& player) { return player->isDone(); });
    if (allGone || budgetMs <= 0) {
        finish(allGone ? QString() : QStringLiteral("players still waiting for answers"));
        return;
    }
    clock_.callAfter(kWatchMs, &context_, [this, budgetMs] { leave(budgetMs - kWatchMs); });
}

CapacityRun::CpuSample CapacityRun::sampleCpu() const {
    CpuSample sample;
    for (int robot = 0; robot < stack_.robots(); ++robot)
        sample.robots += cpu::ofProcess(stack_.keeperPid(robot));
    sample.ircd = cpu::ofProcess(stack_.serverPid());
    sample.database = cpu::withChildren(stack_.databasePid());
    sample.self = cpu::ofSelf();
    return sample;
}

void CapacityRun::finish(const QString& problem) {
    if (finished_)
        return;
    finished_ = true;
    if (!problem.isEmpty())
        report_.problems << problem;
    report_.seconds = (clock_.monotonicMs() - runStartedAtMs_) / 1000.0;
    std::vector<const LoadPlayer*> players;
    for (const auto& player : players_) {
        report_.games += player->gamesDone();
        report_.resent += player->result().resent;
        report_.toldAgain += player->result().toldAgain;
        if (!player->failure().isEmpty())
            report_.problems << QString::fromLatin1(player->nick()) + ": " + player->failure();
        players.push_back(player.get());
    }
    if (const CapacityStep* knee = kneeOf(steps_)) {
        report_.p50Ms = knee->p50Ms;
        report_.p99Ms = knee->p99Ms;
        report_.maxMs = knee->maxMs;
        say_(QStringLiteral("capacity: knee for %1: %2 games/s booked (offered %3, p50 %4 ms, "
                            "p99 %5 ms, none resent); processor time per booked game there: "
                            "robots %6 ms, ircd %7 ms, database %8 ms, this program %9 ms")
                 .arg(label())
                 .arg(knee->booked, 0, 'f', 1)
                 .arg(knee->offered)
                 .arg(knee->p50Ms)
                 .arg(knee->p99Ms)
                 .arg(knee->robotsMs, 0, 'f', 3)
                 .arg(knee->ircdMs, 0, 'f', 3)
                 .arg(knee->databaseMs, 0, 'f', 3)
                 .arg(knee->loadMs, 0, 'f', 3));
    } else if (!steps_.empty()) {
        say_(QStringLiteral("capacity: no step of %1 stayed under 100 ms at p99 with nothing "
                            "resent")
                 .arg(label()));
    }
    stack_.stopKeepers();
    report_.peakKb = stack_.keeperPeakKb();
    report_.books = checkBooks(stack_.books(), players);
    players_.clear();
    stack_.stopServer();
    if (!steps_.empty())
        writeTable();
    if (!report_.ok() || settings_.keepFiles) {
        stack_.keepFiles();
        report_.keptIn = stack_.folder();
    }
    if (done_)
        done_(report_);
}

// This configuration's steps as a table, then the chart of every table in the folder.
void CapacityRun::writeTable() {
    const QDir folder(capacity_.chartFolder);
    const QString name =
        QStringLiteral("capacity-%1-%2%3.csv")
            .arg(settings_.robots)
            .arg(settings_.books == BooksKind::Postgres ? "postgresql" : "sqlite")
            .arg(settings_.fastPace > 0 ? QStringLiteral("-fastpace%1").arg(settings_.fastPace)
                                        : QString());
    QString error;
    if (!writeCapacityTable(folder.filePath(name), label(), steps_, &error)) {
        report_.problems << error;
        return;
    }
    const QString chart = folder.filePath(QStringLiteral("capacity.png"));
    if (drawCapacityChart(capacity_.chartFolder, chart, &error))
        say_(QStringLiteral("capacity: table %1, chart %2").arg(folder.filePath(name), chart));
    else
        report_.problems << error;
}

} // namespace jackwell::load

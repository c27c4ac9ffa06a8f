#include "load_run.h"

#include "clock/clock.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace jackwell::load {

namespace {

constexpr int kWatchMs = 50;

} // namespace

qint64 percentile(const std::vector<qint64>& sorted, double share) {
    if (sorted.empty())
        return 0;
    const auto rank = std::size_t(std::ceil(share * double(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

QString RunReport::line() const {
    return QStringLiteral("load: run=%1 players=%2 games=%3 gps=%4 p50=%5ms p99=%6ms max=%7ms "
                          "peak=%8MB resent=%9 toldagain=%10 kills=%11 drops=%12 unseen=%13 "
                          "lost=%14 doubled=%15 balanced=%16 stalled=%17 floor-books=%18 "
                          "floor-relay=%19 of-books-floor=%20")
               .arg(name)
               .arg(players)
               .arg(games)
               .arg(seconds > 0 ? games / seconds : 0, 0, 'f', 1)
               .arg(p50Ms)
               .arg(p99Ms)
               .arg(maxMs)
               .arg(peakKb / 1024.0, 0, 'f', 1)
               .arg(resent)
               .arg(toldAgain)
               .arg(kills)
               .arg(drops)
               .arg(books.unseen)
               .arg(books.lost)
               .arg(books.doubled)
               .arg(books.balanced ? QStringLiteral("yes") : QStringLiteral("no"))
               .arg(stalls)
               .arg(booksFloorGps, 0, 'f', 0)
               .arg(relayFloorGps, 0, 'f', 0)
               .arg(booksFloorGps > 0 && seconds > 0 ? games / seconds / booksFloorGps : 0, 0, 'f',
                    2) +
           (recoveredMs >= 0 ? QStringLiteral(" recovered=%1ms").arg(recoveredMs) : QString()) +
           ownFields;
}

LoadRun::LoadRun(Clock& clock, RunSettings settings)
    : clock_(clock)
    , settings_(std::move(settings))
    , stack_(clock, settings_.keeperBinary, settings_.robots, settings_.books, settings_.fastPace,
             settings_.floodLimits, settings_.databaseSyncs) {
    watchAlarm_ = clock_.createAlarm([this] { watch(); });
    report_.name = settings_.name;
    report_.players = settings_.players;
}

LoadRun::~LoadRun() = default;

void LoadRun::start(std::function<void(const RunReport&)> done) {
    done_ = std::move(done);
    if (settings_.failover)
        stack_.keepStandby();
    if (settings_.netsplit) {
        stack_.linkSecondServer();
        netsplit_ = std::make_unique<NetsplitRun>(clock_, stack_);
    }
    stack_.startServer([this](const QString& error) {
        if (!error.isEmpty()) {
            finish(error);
            return;
        }
        measureFloors();
    });
}

// The floors first, on the servers as the run will find them: the books', then the relay's.
void LoadRun::measureFloors() {
    QString error;
    const QString books = stack_.floorBooks(&error);
    if (books.isEmpty()) {
        finish(QStringLiteral("books floor: ") + error);
        return;
    }
    booksFloor_ = std::make_unique<BooksFloor>(clock_, books, stack_.robots(), settings_.players);
    booksFloor_->measure([this](double gamesPerSecond, const QString& error) {
        report_.booksFloorGps = gamesPerSecond;
        clock_.callAfter(0, &context_, [this, error] {
            booksFloor_.reset();
            if (!error.isEmpty()) {
                finish(error);
                return;
            }
            relayFloor_ = std::make_unique<RelayFloor>(clock_, stack_.port(), settings_.players,
                                                       stack_.robots(), LoadStack::exemptionLines);
            relayFloor_->measure([this](double gamesPerSecond, const QString& error) {
                report_.relayFloorGps = gamesPerSecond;
                clock_.callAfter(0, &context_, [this, error] {
                    relayFloor_.reset();
                    if (!error.isEmpty())
                        finish(error);
                    else
                        startKeepers(0);
                });
            });
        });
    });
}

// The robots start one after the other; the players come once all of them are there.
void LoadRun::startKeepers(int from) {
    if (from == stack_.robots()) {
        startedAtMs_ = clock_.monotonicMs();
        launchPlayers();
        watchAlarm_->start(kWatchMs);
        return;
    }
    stack_.startKeeper(from, [this, from](const QString& error) {
        if (!error.isEmpty()) {
            finish(error);
            return;
        }
        startKeepers(from + 1);
    });
}

// Players arrive one after the other, a few milliseconds apart, as people would.
void LoadRun::launchPlayers() {
    if (launched_ >= settings_.players)
        return;
    LoadPlayer::Settings settings;
    settings.port = stack_.port();
    // Players are spread over the robots; some play on every one of them in turn.
    const int robots = stack_.robots();
    const bool onAll = robots > 1 && settings_.allRobotsEvery > 0 &&
                       launched_ % settings_.allRobotsEvery == settings_.allRobotsEvery - 1;
    for (int i = 0; i < (onAll ? robots : 1); ++i)
        settings.keepers << LoadStack::keeperNick((launched_ + i) % robots);
    settings.games = settings_.games;
    settings.thinkMinMs = settings_.thinkMinMs;
    settings.thinkMaxMs = settings_.thinkMaxMs;
    settings.channel = LoadStack::kChannel;
    settings.dropsConnection =
        settings_.dropEvery > 0 && launched_ % settings_.dropEvery == settings_.dropEvery - 1;
    if (netsplit_)
        netsplit_->place(launched_, settings);
    const QByteArray nick = "p" + QByteArray::number(launched_ + 1).rightJustified(3, '0');
    players_.push_back(std::make_unique<LoadPlayer>(clock_, nick, settings,
                                                    settings_.seed * 1000 + launched_, [] {}));
    players_.back()->start();
    ++launched_;
    clock_.callAfter(settings_.staggerMs, &context_, [this] {
        if (!finished_)
            launchPlayers();
    });
}

int LoadRun::gamesDone() const {
    int games = 0;
    for (const auto& player : players_)
        games += player->gamesDone();
    return games;
}

void LoadRun::watch() {
    if (finished_)
        return;
    const int total = settings_.players * settings_.games;
    if (settings_.killMidway && !killed_ && gamesDone() >= total / 2) {
        killed_ = true;
        ++report_.kills;
        stack_.killKeeper(0);
        clock_.callAfter(settings_.restartAfterMs, &context_, [this] {
            if (finished_)
                return;
            stack_.startKeeper(0, [this](const QString& error) {
                if (!error.isEmpty())
                    finish(QStringLiteral("restart: ") + error);
            });
        });
    }
    if (settings_.failover)
        watchFailover(total);
    if (netsplit_)
        netsplit_->watch(players_, total, report_.problems);
    if (settings_.stallMs > 0 && !stalled_ && gamesDone() >= total / 2) {
        stalled_ = frozen_ = true;
        ++report_.stalls;
        stack_.freezeDatabase(true);
        clock_.callAfter(settings_.stallMs, &context_, [this] {
            frozen_ = false;
            stack_.freezeDatabase(false);
        });
    }
    const bool allDone = launched_ == settings_.players &&
                         std::all_of(players_.begin(), players_.end(),
                                     [](const auto& player) { return player->isDone(); });
    if (allDone) {
        finish();
        return;
    }
    if (clock_.monotonicMs() - startedAtMs_ > settings_.deadlineSeconds * 1000LL) {
        finish(QStringLiteral("deadline of %1 s passed with %2 of %3 games played")
                   .arg(settings_.deadlineSeconds)
                   .arg(gamesDone())
                   .arg(total));
        return;
    }
    watchAlarm_->start(kWatchMs);
}

// Halfway, the primary is killed and the standby promoted; the run recovers once every player
// still playing has had a game booked since.
void LoadRun::watchFailover(int total) {
    if (failedOverAtMs_ < 0 && gamesDone() >= total / 2) {
        failedOverAtMs_ = clock_.monotonicMs();
        for (const auto& player : players_)
            gamesAtFailover_.push_back(player->gamesDone());
        QString error;
        if (!stack_.failOver(&error))
            report_.problems << QStringLiteral("failover: ") + error;
        return;
    }
    if (failedOverAtMs_ < 0 || report_.recoveredMs >= 0)
        return;
    for (std::size_t i = 0; i < gamesAtFailover_.size(); ++i) {
        if (!players_[i]->isDone() && players_[i]->gamesDone() <= gamesAtFailover_[i])
            return;
    }
    report_.recoveredMs = clock_.monotonicMs() - failedOverAtMs_;
}

void LoadRun::finish(const QString& problem) {
    if (finished_)
        return;
    finished_ = true;
    watchAlarm_->stop();
    if (!problem.isEmpty())
        report_.problems << problem;
    report_.seconds = (clock_.monotonicMs() - startedAtMs_) / 1000.0;
    if (std::exchange(frozen_, false))
        stack_.freezeDatabase(false);
    // A robot that stops answering the server's PINGs is dropped by it.
    for (int robot = 0; robot < stack_.robots(); ++robot) {
        if (const int lost = stack_.keeperConnectionsLost(robot))
            report_.problems << QStringLiteral("%1 lost its connection to the server %2 time(s)")
                                    .arg(QString::fromLatin1(LoadStack::keeperNick(robot)))
                                    .arg(lost);
    }

    std::vector<qint64> latencies;
    std::vector<const LoadPlayer*> players;
    for (const auto& player : players_) {
        const LoadPlayer::Result& result = player->result();
        latencies.insert(latencies.end(), result.latenciesMs.begin(), result.latenciesMs.end());
        report_.games += player->gamesDone();
        report_.resent += result.resent;
        report_.toldAgain += result.toldAgain;
        report_.drops += result.drops;
        if (!player->failure().isEmpty())
            report_.problems << QString::fromLatin1(player->nick()) + ": " + player->failure();
        players.push_back(player.get());
    }
    if (netsplit_)
        report_.ownFields = netsplit_->fields(players_);
    std::sort(latencies.begin(), latencies.end());
    report_.p50Ms = percentile(latencies, 0.50);
    report_.p99Ms = percentile(latencies, 0.99);
    report_.maxMs = latencies.empty() ? 0 : latencies.back();

    stack_.stopKeepers();
    report_.peakKb = stack_.keeperPeakKb();
    report_.books = checkBooks(stack_.books(), players);
    players_.clear();
    stack_.stopServer();
    if (!report_.ok() || settings_.keepFiles) {
        stack_.keepFiles();
        report_.keptIn = stack_.folder();
    }
    if (done_)
        done_(report_);
}

} // namespace jackwell::load

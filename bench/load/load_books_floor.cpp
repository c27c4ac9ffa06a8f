#include "load_books_floor.h"

#include "books/books_store.h"
#include "books/keeper_books.h"
#include "clock/clock.h"
#include "keeper/books_worker.h"
#include "keeper/keeper_turns.h"
#include "machine/machine_keeper.h"
#include "machine/texts.h"

#include <algorithm>

namespace jackwell::load {

namespace {

const QString kHolds = QString(machine::kHoldPrefix) + QStringLiteral("1,0,1");
const QString kRegister = machine::kRegisterRequest;

QString playerName(int loop, int player) {
    return QStringLiteral("floor%1-%2").arg(loop + 1).arg(player + 1);
}

} // namespace

struct BooksFloor::Loop {
    int index = 0;
    // The worker goes first: it uses the engine and the books to the end.
    std::unique_ptr<books::KeeperBooks> books;
    std::unique_ptr<machine::MachineKeeper> keeper;
    std::unique_ptr<keeper::BooksWorker> worker;
    std::unique_ptr<Alarm> markAlarm;
    std::vector<qint64> gamesOf; // per player, as booked so far
    std::vector<std::pair<QString, qint64>> marks;
};

BooksFloor::BooksFloor(Clock& clock, QString books, int loops, int players)
    : clock_(clock)
    , books_(std::move(books))
    , loops_(std::max(1, loops))
    , players_(std::max(1, players)) {}

BooksFloor::~BooksFloor() = default;

void BooksFloor::measure(std::function<void(double, const QString&)> done) {
    done_ = std::move(done);
    QString error;
    if (!books::makeKeeperBooks(
            books_, clock_, books::BooksMaking::Always, [](const QString&) {}, &error)) {
        done_(0, QStringLiteral("books floor: ") + error);
        return;
    }
    for (int index = 0; index < loops_; ++index) {
        auto loop = std::make_unique<Loop>();
        loop->index = index;
        books::BooksOpening opening;
        opening.machine = QStringLiteral("floor%1").arg(index + 1);
        loop->books = books::openKeeperBooks(books_, clock_, opening, &error);
        if (!loop->books) {
            done_(0, QStringLiteral("books floor: ") + error);
            return;
        }
        loop->keeper = std::make_unique<machine::MachineKeeper>(QStringLiteral("Floor"),
                                                                *loop->books, index + 1);
        loop->worker = std::make_unique<keeper::BooksWorker>(clock_, *loop->books,
                                                             [](QtMsgType, const QString&) {});
        Loop* raw = loop.get();
        loop->markAlarm = clock_.createAlarm([this, raw] { markDelivered(*raw); });
        running_.push_back(std::move(loop));
    }
    // The run's players, spread over the loops as over the robots.
    for (int player = 0; player < players_; ++player) {
        Loop& loop = *running_[std::size_t(player % loops_)];
        loop.gamesOf.push_back(0);
        play(loop, int(loop.gamesOf.size()) - 1);
    }
    for (const auto& loop : running_)
        loop->markAlarm->start(kMarkEveryMs);
    clock_.callAfter(kWarmUpBudgetMs, &context_, [this] { startMeasuring(); });
}

void BooksFloor::startMeasuring() {
    if (std::exchange(measuring_, true))
        return;
    measureFromMs_ = clock_.monotonicMs();
    clock_.callAfter(kMeasureMs, &context_, [this] { finish({}); });
}

// One game as the robot plays it; a player out of credits registers again, which is no game.
void BooksFloor::play(Loop& loop, int player) {
    const QString name = playerName(loop.index, player);
    auto played = std::make_shared<bool>(false);
    loop.worker->submit(
        [&loop, name, played](books::KeeperBooks& books) {
            books.delivery(name);
            const std::vector<machine::Reply> replies = loop.keeper->onPrivateMessage(name, kHolds);
            *played = std::ranges::any_of(replies, [](const machine::Reply& reply) {
                return reply.text.startsWith(machine::kFinalDrawHead);
            });
            if (!*played)
                loop.keeper->onPrivateMessage(name, kRegister);
        },
        [this, &loop, player, name, played](const keeper::BooksWorker::Ending& ending) {
            if (finished_)
                return;
            if (ending.outcome != keeper::BooksWorker::Outcome::Booked) {
                // Nothing of it was kept: the floor is a store that keeps what it is given.
                finish(QStringLiteral("books floor: the books did not take a game: ") +
                       ending.error);
                return;
            }
            if (*played) {
                loop.marks.emplace_back(name, ++loop.gamesOf[std::size_t(player)]);
                games_ += measuring_ ? 1 : 0;
            } else if (++registered_ == players_) {
                clock_.callAfter(kSettleMs, &context_, [this] { startMeasuring(); });
            }
            play(loop, player);
        });
}

void BooksFloor::markDelivered(Loop& loop) {
    if (finished_)
        return;
    if (!loop.marks.empty())
        loop.worker->submit([marks = std::exchange(loop.marks, {})](
                                books::KeeperBooks& books) { books.markDelivered(marks); },
                            [](const keeper::BooksWorker::Ending&) {});
    loop.markAlarm->start(kMarkEveryMs);
}

void BooksFloor::finish(const QString& error) {
    if (std::exchange(finished_, true))
        return;
    const double seconds = (clock_.monotonicMs() - measureFromMs_) / 1000.0;
    // The loops go from the event loop, not from inside their own answers; work still handed
    // over goes with their workers, as if the robots were killed.
    clock_.callAfter(0, &context_, [this, error, seconds] {
        running_.clear();
        done_(error.isEmpty() && seconds > 0 ? double(games_) / seconds : 0, error);
    });
}

} // namespace jackwell::load

// How long the statistics window takes to open on a long history: Rivet's books holding
// 100 000 games of the player, read from the file, summed up, charted and painted, as the card
// does when the player presses T; and the same for a network's kept results.
//
// Prints the benchmarks' figures, then one line, e.g.:
//   statistics: open-books-100000=310ms open-results-100000=120ms

#include "books/sqlite_books.h"
#include "history/final_lines_file.h"
#include "machine/machine_keeper.h"
#include "machine/texts.h"
#include "shell/statistics_window.h"
#include "world/rivet_books.h"

#include <QApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace jackwell::bench {
namespace {

constexpr int kGames = 100'000;
constexpr QSize kWindowSize{520, 560};
const QString kPlayer = QStringLiteral("Player");

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

// Rivet's books with kGames games of the player, played by the machinekeeper itself; and the
// same results as a network's kept file.
void makeHistory(const QString& books, const QString& results) {
    QString error;
    auto store = books::SqliteBooks::create(books, &error);
    if (!store)
        qFatal("%s", qPrintable(error));
    machine::MachineKeeper keeper(QStringLiteral("Rivet"), *store, 1);
    history::FinalLinesFile kept(results);
    store->beginBatch();
    for (int game = 0; game < kGames;) {
        for (const machine::Reply& reply : keeper.onPrivateMessage(kPlayer, "I hold 1,0,1")) {
            if (reply.text.startsWith(machine::kFinalDrawHead)) {
                ++game;
                kept.append(reply.text, &error);
            }
        }
        if (store->load(kPlayer).value_or(machine::PlayerRecord{}).credits == 0)
            keeper.onPrivateMessage(kPlayer, "Register me!");
    }
    if (!store->commitBatch())
        qFatal("%s", qPrintable(store->lastError()));
}

// What pressing T does: the games read anew, shown and painted.
void openWindow(benchmark::State& state, const std::function<history::GameHistory::Games()>& read) {
    StatisticsWindow window;
    window.resize(kWindowSize);
    for (auto _ : state) {
        history::GameHistory::Games games = read();
        // The kept results pass over a result that repeats the one before it word for word.
        if (games.games.size() < std::size_t(kGames) * 99 / 100)
            state.SkipWithError("the history does not hold every game");
        window.showGames(std::move(games));
        benchmark::DoNotOptimize(window.grab());
    }
}

void BM_OpenFromBooks(benchmark::State& state) {
    world::RivetBooks books;
    const QString problem =
        books.openFile(folder().filePath("rivet.sqlite"), QDateTime::currentDateTime());
    if (!problem.isEmpty())
        qFatal("%s", qPrintable(problem));
    openWindow(state, [&] {
        history::GameHistory::Games games;
        QString error;
        const auto played = books.games(kPlayer, &error);
        for (const machine::GameOutcome& game :
             played.value_or(std::vector<machine::GameOutcome>{}))
            games.games.push_back({game.tokensWon, game.creditsAfter, game.cost});
        return games;
    });
}
BENCHMARK(BM_OpenFromBooks)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenFromKeptResults(benchmark::State& state) {
    const history::FinalLinesFile kept(folder().filePath("results.txt"));
    openWindow(state, [&] { return history::GameHistory::Games{{}, kept.read().games, {}}; });
}
BENCHMARK(BM_OpenFromKeptResults)->Unit(benchmark::kMillisecond)->Iterations(5);

// The mean time of each benchmark, by name.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            ms[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
};

} // namespace
} // namespace jackwell::bench

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    using namespace jackwell::bench;
    makeHistory(folder().filePath("rivet.sqlite"), folder().filePath("results.txt"));
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    std::printf("statistics: open-books-%d=%.0fms open-results-%d=%.0fms\n", kGames,
                collector.ms["BM_OpenFromBooks/iterations:5"], kGames,
                collector.ms["BM_OpenFromKeptResults/iterations:5"]);
    return 0;
}

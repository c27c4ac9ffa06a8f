// How fast the handlers walk a long chat text, against a plain scan of the same
// text for its line feeds, and how much memory delivering and walking takes.
//
//   walk_bench                     all timings, then the summary line
//   walk_bench --measure-memory N  (run as a child) the memory figure for an N MB log

#include "sample_chat.h"

#include "card/card.h"
#include "chat/chat_log.h"
#include "chat/dapi.h"
#include "chat/transport.h"
#include "clock/virtual_clock.h"
#include "protocol/handlers.h"
#include "protocol/tokenizer.h"
#include "reels/card_state.h"
#include "reels/payouts_state.h"
#include "settings/options.h"
#include "sound/beeper.h"
#include "sound/sound_player.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

namespace jackwell::bench {
namespace {

constexpr int kSizesMb[] = {1, 16, 128};
constexpr int kLargestMb = 128;

struct Log {
    QByteArray lines; // as the chat log holds them
    QString text;     // as the handlers receive them
};

const Log& logOf(qsizetype mb) {
    static std::map<qsizetype, Log> logs;
    auto found = logs.find(mb);
    if (found == logs.end()) {
        Log log;
        log.lines = makeChatLines(mb << 20);
        ChatTransport::cleanChatText(ChatLibrary::deliveredText(log.lines), log.text);
        found = logs.emplace(mb, std::move(log)).first;
    }
    return found->second;
}

void perLogByte(benchmark::State& state, const Log& log) {
    state.SetBytesProcessed(state.iterations() * log.lines.size());
}

void BM_CountScan(benchmark::State& state) {
    const Log& log = logOf(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(QStringView(log.text).count(u'\n'));
    perLogByte(state, log);
}

void BM_FindMachineKeeper(benchmark::State& state) {
    const Log& log = logOf(state.range(0));
    CardState card;
    Tokenizer tokenizer;
    for (auto _ : state) {
        findMachineKeeper(card, tokenizer, log.text);
        benchmark::DoNotOptimize(card.machineKeeperName.size());
    }
    perLogByte(state, log);
}

void BM_HandleFirstResult(benchmark::State& state) {
    const Log& log = logOf(state.range(0));
    CardState card;
    PayoutsState payouts;
    Tokenizer tokenizer;
    for (auto _ : state) {
        card.credits = QStringLiteral("0");
        handleFirstResult(card, payouts, tokenizer, log.text);
        benchmark::DoNotOptimize(card.reels[0].resultPicture.image);
    }
    perLogByte(state, log);
}

void BM_HandleFinalResult(benchmark::State& state) {
    const Log& log = logOf(state.range(0));
    CardState card;
    Tokenizer tokenizer;
    for (auto _ : state) {
        handleFinalResult(card, tokenizer, log.text);
        benchmark::DoNotOptimize(card.reels[0].resultPicture.image);
    }
    perLogByte(state, log);
}

// OnText's work: widening the delivered bytes and cleaning the end.
void BM_OnText(benchmark::State& state) {
    const Log& log = logOf(state.range(0));
    const DeliveredText delivered = ChatLibrary::deliveredText(log.lines);
    // The transport's chatText, reused from one delivery to the next: the
    // first delivery of a session allocates it, every later one writes over it.
    QString text;
    ChatTransport::cleanChatText(delivered, text);
    for (auto _ : state) {
        text.truncate(0);
        ChatTransport::cleanChatText(delivered, text);
        benchmark::DoNotOptimize(text.size());
    }
    perLogByte(state, log);
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int mb : kSizesMb)
        b->Arg(mb);
    b->Unit(benchmark::kMillisecond)->MinTime(0.3)->Repetitions(3)->DisplayAggregatesOnly(false);
}

BENCHMARK(BM_CountScan)->Apply(sizes);
BENCHMARK(BM_FindMachineKeeper)->Apply(sizes);
BENCHMARK(BM_HandleFirstResult)->Apply(sizes);
BENCHMARK(BM_HandleFinalResult)->Apply(sizes);
BENCHMARK(BM_OnText)->Apply(sizes);

// Prints as usual and keeps the best time of each benchmark and size.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
                continue;
            // CPU time: the machine may be shared, and waiting for a core is not the walk's cost.
            const double seconds = run.cpu_accumulated_time / double(run.iterations);
            const int mb = std::stoi(run.run_name.args);
            auto& best = best_[run.run_name.function_name];
            if (!best.count(mb) || seconds < best[mb])
                best[mb] = seconds;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Seconds per MB of log, or a negative number when it did not run.
    double perMb(const std::string& name, int mb) const {
        const auto found = best_.find(name);
        if (found == best_.end() || !found->second.count(mb))
            return -1;
        return found->second.at(mb) / mb;
    }

private:
    std::map<std::string, std::map<int, double>> best_;
};

// --- memory -------------------------------------------------------------

// A chat world whose log holds recorded lines, with room for all of them.
class RecordedChat final : public ChatPort {
public:
    explicit RecordedChat(const QByteArray& lines)
        : log_(lines.size() + 1) {
        for (qsizetype start = 0; start < lines.size();) {
            qsizetype end = lines.indexOf("\r\n", start);
            if (end < 0)
                end = lines.size();
            log_.appendLine(QString::fromUtf8(lines.mid(start, end - start)));
            start = end + 2;
        }
    }
    bool open(EventSink) override { return true; }
    void close() override {}
    std::optional<ChatStatus> registerAgain() override { return ChatStatus::Done; }
    std::optional<ChatStatus> sendPrivateMessage(const QString&, const QString&) override {
        return ChatStatus::Done;
    }
    std::optional<ChatStatus> requestText() override { return ChatStatus::Done; }
    const ChatLog& chatLog() const override { return log_; }
    void setListener(Listener) override {}
    ChatLinkStatus linkStatus() const override { return {}; }
    QString ownName() const override { return {}; }
    void sayInPublic(const QString&) override {}

private:
    ChatLog log_;
};

struct Silence final : SoundPlayer, Beeper {
    void playSound(const QString&, bool) override {}
    void stopSound() override {}
    void beep() override {}
};

long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    }
    return -1;
}

// The log is made first; from then on the high-water mark of the resident
// memory is what GET HOST, START and FINISH add while the log is delivered
// and walked three times.
int measureMemory(int mb) {
    VirtualClock clock;
    ChatLibrary library(
        clock, [mb] { return std::make_unique<RecordedChat>(makeChatLines(qsizetype(mb) << 20)); });
    ChatTransport transport(library, clock, "Jackwell");
    if (transport.open() != 0)
        return 1;
    const qsizetype logBytes = library.backend()->chatLog().lines().size();
    Silence sound;
    Options options;
    Card card({transport, clock, sound, sound, options});

    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5"; // restart the high-water mark here
    const long baseKb = statusKb("VmRSS");
    const long hwmBeforeKb = statusKb("VmHWM");

    card.findHost(); // GET HOST
    clock.settle();
    card.start(); // START
    clock.settle();
    card.finish(); // FINISH
    clock.settle();

    const long peakKb = statusKb("VmHWM");
    const qsizetype chars = transport.chatText().size();
    if (card.state.machineKeeperName.isEmpty() || chars == 0 || hwmBeforeKb > baseKb + 1024) {
        std::fprintf(stderr,
                     "memory: the measurement did not work (keeper '%s', %lld chars, "
                     "high-water mark not reset)\n",
                     qPrintable(card.state.machineKeeperName), (long long)chars);
        return 1;
    }
    std::printf("peak-bytes-per-char=%.2f (log %lld bytes, text %lld chars, +%ld KB)\n",
                double(peakKb - baseKb) * 1024.0 / double(chars), (long long)logBytes,
                (long long)chars, peakKb - baseKb);
    return 0;
}

// Runs the memory measurement in a process of its own, so that the timing
// runs' logs do not count.
double memoryFigure(int mb) {
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return -1;
    const std::string command =
        std::string("'") + self + "' --measure-memory " + std::to_string(mb);
    FILE* child = popen(command.c_str(), "r");
    if (!child)
        return -1;
    char line[512] = {};
    double figure = -1;
    while (std::fgets(line, sizeof line, child)) {
        std::fputs(line, stdout);
        std::sscanf(line, "peak-bytes-per-char=%lf", &figure);
    }
    return pclose(child) == 0 ? figure : -1;
}

std::string figure(double value) {
    if (value < 0)
        return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

} // namespace
} // namespace jackwell::bench

int main(int argc, char** argv) {
    using namespace jackwell::bench;
    if (argc == 3 && std::strcmp(argv[1], "--measure-memory") == 0)
        return measureMemory(std::atoi(argv[2]));

    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    // Per handler: time per MB at the largest log against the smallest, and
    // against the plain scan of the largest; the summary gives the worst handler.
    const double scan = collector.perMb("BM_CountScan", kLargestMb);
    double worstLinear = -1;
    double worstVsScan = -1;
    for (const char* name :
         {"BM_FindMachineKeeper", "BM_HandleFirstResult", "BM_HandleFinalResult", "BM_OnText"}) {
        const double small = collector.perMb(name, 1);
        const double large = collector.perMb(name, kLargestMb);
        const double linear = small > 0 && large > 0 ? large / small : -1;
        const double vsScan = scan > 0 && large > 0 ? large / scan : -1;
        std::printf("%-22s %s ms/MB at 1 MB, %s ms/MB at %d MB: linear=%s vs-scan=%s\n", name,
                    figure(small * 1e3).c_str(), figure(large * 1e3).c_str(), kLargestMb,
                    figure(linear).c_str(), figure(vsScan).c_str());
        if (std::strcmp(name, "BM_OnText") == 0)
            continue; // not a handler: shown, not summed up
        worstLinear = std::max(worstLinear, linear);
        worstVsScan = std::max(worstVsScan, vsScan);
    }
    std::printf("%-22s %s ms/MB at %d MB\n", "BM_CountScan", figure(scan * 1e3).c_str(),
                kLargestMb);
    const double memory = memoryFigure(kLargestMb);
    std::printf("walk: linear=%s vs-scan=%s peak-bytes-per-char=%s\n", figure(worstLinear).c_str(),
                figure(worstVsScan).c_str(), figure(memory).c_str());
    benchmark::Shutdown();
    return 0;
}

// How the chat window copes with a full chat text: a line appended, laid out and painted in
// a window that already holds 1 MiB of chat and in one that holds 8 MiB (the most the chat
// text keeps); how long taking in all of the 8 MiB line by line takes, and what the full
// window then holds in memory; and how long a window closed while all of it came takes to
// open again.
//
// Prints the benchmarks' figures, then one line, e.g.:
//   chat-window: append-1MB=800us append-8MB=790us ratio=0.99 fill-8MB=25.0s
//                window-8MB=+16MB reopen-8MB=120ms lines=149170

#include "../sample_chat.h"

#include "chat/dapi.h"
#include "chat/transport.h"
#include "chatview/chat_line_look.h"
#include "chatview/chat_session.h"
#include "clock/virtual_clock.h"
#include "shell/chat_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace jackwell::bench {
namespace {

constexpr int kSizesMb[] = {1, 8};
constexpr int kRepetitions = 9;
constexpr QSize kWindowSize{460, 420};

// Resident memory, once freed memory is handed back, so that only what is held counts.
double residentMb() {
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double secondsSince(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e9;
}

// The lines of `mb` MiB of made-up chat, with their looks.
std::vector<ChatSession::Line> chatLines(int mb) {
    const QByteArray log = makeChatLines(qsizetype(mb) * 1024 * 1024);
    std::vector<ChatSession::Line> lines;
    for (const QByteArray& bytes : log.split('\n')) {
        const QString text = QString::fromUtf8(bytes).trimmed();
        lines.push_back({text, lookOf(text, QStringLiteral("Rivet"), QStringLiteral("Keeper"))});
    }
    return lines;
}

// A chat window as the program makes it.
struct OpenChatWindow {
    VirtualClock clock;
    ChatLibrary library{clock, {}};
    ChatTransport transport{library, clock, "Jackwell"};
    ChatSession session{transport, clock};
    ChatWindow window{session};

    OpenChatWindow() { window.resize(kWindowSize); }
    // One line arrives and its frame ends, and what the event loop does before painting is done.
    void take(const ChatSession::Line& line) {
        window.appendLine(line);
        clock.advance(ChatWindow::kFrameMs);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    }
};

// An open chat window that has taken in `mb` MiB of chat, line by line.
struct FullWindow {
    std::vector<ChatSession::Line> lines;
    OpenChatWindow chat;
    std::size_t next = 0;
    double fillSeconds = 0;
    double heldMb = 0;

    explicit FullWindow(int mb)
        : lines(chatLines(mb)) {
        const double before = residentMb();
        chat.window.show();
        QElapsedTimer timer;
        timer.start();
        for (const ChatSession::Line& line : lines)
            chat.take(line);
        QCoreApplication::processEvents(); // laid out and painted
        fillSeconds = secondsSince(timer);
        heldMb = residentMb() - before;
    }
};

// The windows made so far, by size; emptied by main() while the application still stands.
std::map<int, std::unique_ptr<FullWindow>> windows;

FullWindow& fullWindow(int mb) {
    auto& made = windows[mb];
    if (!made)
        made = std::make_unique<FullWindow>(mb);
    return *made;
}

// One more line arrives: appended, then the visible part of the view painted.
void BM_AppendLine(benchmark::State& state) {
    FullWindow& full = fullWindow(int(state.range(0)));
    QWidget* view = full.chat.window.logView()->viewport();
    for (auto _ : state) {
        full.chat.take(full.lines[full.next++ % full.lines.size()]);
        view->repaint();
    }
}
BENCHMARK(BM_AppendLine)
    ->Arg(kSizesMb[0])
    ->Arg(kSizesMb[1])
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);

// A window closed while all of `lines` came in, opened again: seconds until it is painted.
double reopenSeconds(const std::vector<ChatSession::Line>& lines) {
    OpenChatWindow chat;
    chat.window.show();
    QCoreApplication::processEvents();
    chat.window.hide();
    for (const ChatSession::Line& line : lines)
        chat.take(line);
    QElapsedTimer timer;
    timer.start();
    chat.window.show();
    QCoreApplication::processEvents();
    return secondsSince(timer);
}

// Keeps the median time per line of each size.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<int, double> medianSeconds;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.aggregate_name != "median")
                continue;
            const std::string name = run.benchmark_name();
            const int mb = std::stoi(name.substr(name.find('/') + 1));
            medianSeconds[mb] = run.GetAdjustedRealTime() / 1e6; // reported in microseconds
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace
} // namespace jackwell::bench

int main(int argc, char** argv) {
    using namespace jackwell::bench;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    const double small = collector.medianSeconds[kSizesMb[0]];
    const double large = collector.medianSeconds[kSizesMb[1]];
    const FullWindow& full = fullWindow(kSizesMb[1]);
    const double reopen = reopenSeconds(full.lines);
    std::printf("chat-window: append-%dMB=%.0fus append-%dMB=%.0fus ratio=%.2f fill-%dMB=%.1fs "
                "window-%dMB=+%.0fMB reopen-%dMB=%.0fms lines=%zu\n",
                kSizesMb[0], small * 1e6, kSizesMb[1], large * 1e6, small > 0 ? large / small : -1,
                kSizesMb[1], full.fillSeconds, kSizesMb[1], full.heldMb, kSizesMb[1], reopen * 1e3,
                full.lines.size());
    windows.clear();
    benchmark::Shutdown();
    return 0;
}

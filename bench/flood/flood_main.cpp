// The card under a chat flood: the real program (a copy of `jackwell` in a folder of its own,
// offscreen, its chat window open) connects to a scripted server that floods its channel, and
// PINGs it every half second over the same socket, as a server does.
//
// Two runs, each in a fresh program: 8 kB channel lines at 150 a second for 80 s ("long"), and
// 100 000 short lines at 10 000 a second ("short"). Each prints one line: the program's CPU time
// per line (user and system, from the flood's start until it answered the PING sent after the
// last line), its peak resident memory over its whole life, how late it answered the PINGs
// (median, worst, and the one after the last line), and the most that waited unread in the
// server's own buffer when a PING went out (more lies in the sockets' buffers). E.g.:
//   flood: run=long lines=12000 line-bytes=8192 rate=150/s cpu=3.1s cpu-per-line=0.26ms
//          peak-rss=62MB ping-p50=4ms ping-max=40ms ping-last=12ms unread-max=0.0MB
//
// Options: --program PATH (default: the jackwell built beside this bench), --runs long,short,
// --scale F (multiplies each run's duration: 0.1 for a quick look).

#include "flood_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace jackwell::bench {
namespace {

constexpr int kSettleMs = 2000;        // after the JOIN, before the flood
constexpr int kDrainLimitMs = 600'000; // how long the last PING may take before giving up
constexpr int kStartLimitMs = 30'000;

struct Run {
    const char* name;
    FloodServer::Flood flood;
};
const Run kRuns[] = {{"long", {150, 80, 8192}}, {"short", {10'000, 10, 64}}};

// CPU seconds (user and system) the process has used so far.
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of the file, counted from the state (field 3).
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

// The process's peak resident memory in MB.
double peakResidentMb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

double percentile(std::vector<double> values, double share) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(share * double(values.size())))];
}

// One run: the program, the server, the flood, the figures.
class FloodRun : public QObject {
public:
    FloodRun(const QString& program, const Run& run, double scale, std::function<void()> done)
        : run_(run)
        , done_(std::move(done)) {
        run_.flood.seconds = std::max(1, int(run.flood.seconds * scale + 0.5));
        QFile chat(dir_.filePath(QStringLiteral("Chat.txt")));
        if (!server_.listen() || !QFile::copy(program, dir_.filePath(QStringLiteral("jackwell"))) ||
            !chat.open(QIODevice::WriteOnly)) {
            fail("cannot listen, copy the program or write Chat.txt");
            return;
        }
        chat.write("server = 127.0.0.1\nport = " + QByteArray::number(server_.port()) +
                   "\nnick = Player\nchannel = #casino\n");
        chat.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           dir_.filePath(QStringLiteral("config")));
        program_.setProcessEnvironment(environment);
        program_.setStandardOutputFile(QProcess::nullDevice());
        program_.setStandardErrorFile(dir_.filePath(QStringLiteral("stderr.txt")));
        program_.start(dir_.filePath(QStringLiteral("jackwell")), {});
        waitForJoin(kStartLimitMs / 100);
    }

    ~FloodRun() override {
        program_.kill();
        program_.waitForFinished(5000);
    }

private:
    void waitForJoin(int triesLeft) {
        if (server_.joined()) {
            QTimer::singleShot(kSettleMs, this, [this] { startFlood(); });
            return;
        }
        if (triesLeft == 0 || program_.state() == QProcess::NotRunning) {
            fail("the program never joined its channel");
            return;
        }
        QTimer::singleShot(100, this, [this, triesLeft] { waitForJoin(triesLeft - 1); });
    }

    void startFlood() {
        cpuAtStart_ = cpuSeconds(program_.processId());
        server_.flood(run_.flood, [this] { report(); });
        QTimer::singleShot(run_.flood.seconds * 1000 + kDrainLimitMs, this,
                           [this] { fail("the PING after the flood was never answered"); });
    }

    void report() {
        const qint64 pid = program_.processId();
        const double cpu = cpuSeconds(pid) - cpuAtStart_;
        std::vector<double> answers = server_.pingAnswersMs();
        const double last = answers.back();
        std::printf(
            "flood: run=%s lines=%d line-bytes=%d rate=%d/s cpu=%.1fs cpu-per-line=%.3fms "
            "peak-rss=%.0fMB ping-p50=%.0fms ping-max=%.0fms ping-last=%.0fms unread-max=%.1fMB\n",
            run_.name, server_.linesSent(), run_.flood.lineBytes, run_.flood.linesPerSecond, cpu,
            cpu * 1e3 / std::max(1, server_.linesSent()), peakResidentMb(pid),
            percentile(answers, 0.5), *std::max_element(answers.begin(), answers.end()), last,
            double(server_.mostWaiting()) / (1024.0 * 1024.0));
        std::fflush(stdout);
        finish();
    }

    void fail(const char* why) {
        std::printf("flood: run=%s failed: %s (lines sent %d)\n", run_.name, why,
                    server_.linesSent());
        std::fflush(stdout);
        failed = true;
        finish();
    }

    void finish() {
        if (done_)
            QTimer::singleShot(0, std::exchange(done_, {})); // after this run's own calls
    }

public:
    bool failed = false;

private:
    Run run_;
    std::function<void()> done_;
    QTemporaryDir dir_;
    FloodServer server_;
    QProcess program_;
    double cpuAtStart_ = 0;
};

} // namespace
} // namespace jackwell::bench

int main(int argc, char** argv) {
    using namespace jackwell::bench;
    QCoreApplication app(argc, argv);
    QString program = QStringLiteral(JACKWELL_PROGRAM);
    QStringList runs = {QStringLiteral("long"), QStringLiteral("short")};
    double scale = 1.0;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--program"))
            program = arguments[i + 1];
        else if (arguments[i] == QLatin1String("--runs"))
            runs = arguments[i + 1].split(u',');
        else if (arguments[i] == QLatin1String("--scale"))
            scale = arguments[i + 1].toDouble();
    }
    std::vector<const Run*> chosen;
    for (const Run& run : kRuns) {
        if (runs.contains(QLatin1String(run.name)))
            chosen.push_back(&run);
    }
    std::unique_ptr<FloodRun> current;
    int failures = 0;
    std::size_t next = 0;
    std::function<void()> startNext = [&] {
        if (current)
            failures += current->failed;
        current.reset();
        if (next == chosen.size()) {
            app.exit(failures == 0 ? 0 : 1);
            return;
        }
        current = std::make_unique<FloodRun>(program, *chosen[next++], scale, startNext);
    };
    QTimer::singleShot(0, startNext);
    return app.exec();
}

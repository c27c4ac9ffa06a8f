#include "load_process.h"

#include "clock/clock.h"

#include <QFile>

#include <sys/prctl.h>

#include <csignal>
#include <utility>

namespace jackwell::load {

namespace {
constexpr int kPollMs = 20;
}

QByteArray readFile(const QString& path, qint64 from) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    file.seek(from);
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& text, QString* error) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size())
        return true;
    *error = path + QStringLiteral(": ") + file.errorString();
    return false;
}

void dieWithParent() {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

void pollUntil(Clock& clock, QObject* context, std::function<bool()> done, int budgetMs,
               std::function<void(bool)> then) {
    if (done()) {
        then(true);
        return;
    }
    if (budgetMs <= 0) {
        then(false);
        return;
    }
    clock.callAfter(kPollMs, context,
                    [&clock, context, done = std::move(done), budgetMs, then = std::move(then)] {
                        pollUntil(clock, context, done, budgetMs - kPollMs, then);
                    });
}

} // namespace jackwell::load

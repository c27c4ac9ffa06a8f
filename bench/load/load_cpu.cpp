#include "load_cpu.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <unistd.h>

namespace jackwell::load::cpu {

namespace {

struct Times {
    qint64 ppid = 0;
    qint64 own = 0;      // utime + stime, in clock ticks
    qint64 children = 0; // cutime + cstime: children waited for
};

// /proc/PID/stat: "pid (name) state ppid ...", the name in parentheses may hold spaces; the
// fields after it are counted from the state (field 3).
bool readTimes(const QString& path, Times* times) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    if (fields.size() < 15)
        return false;
    times->ppid = fields[1].toLongLong();                                // field 4
    times->own = fields[11].toLongLong() + fields[12].toLongLong();      // fields 14, 15
    times->children = fields[13].toLongLong() + fields[14].toLongLong(); // fields 16, 17
    return true;
}

qint64 ticksToMs(qint64 ticks) {
    static const long perSecond = ::sysconf(_SC_CLK_TCK);
    return perSecond > 0 ? ticks * 1000 / perSecond : 0;
}

} // namespace

qint64 ofProcess(qint64 pid) {
    Times times;
    return pid > 0 && readTimes(QStringLiteral("/proc/%1/stat").arg(pid), &times)
               ? ticksToMs(times.own)
               : 0;
}

qint64 withChildren(qint64 pid) {
    Times parent;
    if (pid <= 0 || !readTimes(QStringLiteral("/proc/%1/stat").arg(pid), &parent))
        return 0;
    qint64 ticks = parent.own + parent.children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool number = false;
        entry.toLongLong(&number);
        Times child;
        if (number && readTimes(QStringLiteral("/proc/%1/stat").arg(entry), &child) &&
            child.ppid == pid)
            ticks += child.own + child.children;
    }
    return ticksToMs(ticks);
}

qint64 ofSelf() {
    return ofProcess(::getpid());
}

} // namespace jackwell::load::cpu

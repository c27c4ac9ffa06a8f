#include "platform/key_value_file.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jackwell {

namespace {

constexpr qsizetype kMaxShownValue = 40;

} // namespace

std::optional<QByteArray> KeyValueFile::readText(const QString& path, const QString& kind,
                                                 QString* error, qint64 maxBytes) {
    // Opened without waiting, so that a FIFO or a device cannot hold the program up, and
    // read only when it turns out to be a plain file.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("%1: cannot be read (%2)")
                     .arg(escaped(path), QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        *error = QStringLiteral("%1: not a regular file, not ").arg(escaped(path)) + kind;
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = QStringLiteral("%1: cannot be read (%2)").arg(escaped(path), file.errorString());
        return std::nullopt;
    }
    QByteArray text = file.read(maxBytes + 1);
    if (text.size() > maxBytes) {
        *error = QStringLiteral("%1: larger than %2 bytes, not ").arg(escaped(path)).arg(maxBytes) +
                 kind;
        return std::nullopt;
    }
    return text;
}

KeyValueFile::KeyValueFile(const QByteArray& text, const QString& fileName)
    : fileName_(escaped(fileName)) {
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    int number = 0;
    for (const QByteArray& raw : body.split('\n')) {
        ++number;
        Line line;
        line.number = number;
        line.text = raw.trimmed();
        if (line.text.isEmpty() || line.text.startsWith('#'))
            continue;
        const qsizetype equals = line.text.indexOf('=');
        line.pair = equals >= 0;
        if (line.pair) {
            line.key = line.text.left(equals).trimmed().toLower();
            line.value = line.text.mid(equals + 1).trimmed();
        }
        lines_.push_back(std::move(line));
    }
}

QString KeyValueFile::takeAll(const QList<QByteArray>& keys, const Take& take) {
    for (const Line& line : std::exchange(lines_, {})) {
        if (!line.pair)
            return faultAt(
                line.number,
                QStringLiteral("expected \"key = value\", found %1").arg(shown(line.text)));
        if (!keys.contains(line.key))
            return faultAt(line.number, QStringLiteral("unknown key %1 (known: %2)")
                                            .arg(shown(line.key),
                                                 QString::fromLatin1((keys + known_).join(", "))));
        if (QString fault = noteTaken(line); !fault.isEmpty())
            return fault;
        const QString key = QString::fromLatin1(line.key);
        if (line.value.isEmpty())
            return faultAt(line.number, QStringLiteral("%1 has no value").arg(key));
        if (hasControl(line.value))
            return faultAt(line.number, QStringLiteral("%1 contains a control character").arg(key));
        if (QString fault = take(line.key, line.value); !fault.isEmpty())
            return faultAt(line.number, fault);
    }
    return {};
}

QString KeyValueFile::takeOwn(const QList<QByteArray>& keys, const Take& take) {
    known_ += keys;
    std::vector<Line> left;
    for (const Line& line : lines_) {
        if (!line.pair || !keys.contains(line.key)) {
            left.push_back(line);
            continue;
        }
        if (QString fault = noteTaken(line); !fault.isEmpty())
            return fault;
        if (QString fault = take(line.key, line.value); !fault.isEmpty())
            return faultAt(line.number, fault);
    }
    lines_ = std::move(left);
    return {};
}

QString KeyValueFile::noteTaken(const Line& line) {
    if (taken_.contains(line.key))
        return faultAt(
            line.number,
            QStringLiteral("%1 is given a second time").arg(QString::fromLatin1(line.key)));
    taken_.append(line.key);
    return {};
}

QString KeyValueFile::faultOfFile(const QString& what) const {
    return QStringLiteral("%1: %2").arg(fileName_, what);
}

bool KeyValueFile::othersMayRead(const QString& path) {
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

QString KeyValueFile::missing(QByteArrayView key) const {
    return QStringLiteral("%1: no \"%2 = ...\" line")
        .arg(fileName_, QString::fromLatin1(key.data(), key.size()));
}

QString KeyValueFile::faultAt(int line, const QString& what) const {
    return QStringLiteral("%1, line %2: %3").arg(fileName_).arg(line).arg(what);
}

QString KeyValueFile::shown(const QByteArray& value) {
    QString text = escaped(QString::fromUtf8(value.left(kMaxShownValue)));
    if (value.size() > kMaxShownValue)
        text += QStringLiteral("...");
    return u'"' + text + u'"';
}

QString KeyValueFile::escaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\t')
            out += QStringLiteral("\\t");
        else if (u == '\r')
            out += QStringLiteral("\\r");
        else if (u == '\n')
            out += QStringLiteral("\\n");
        else if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            out += QStringLiteral("\\x") +
                   QString::number(int(u), 16).toUpper().rightJustified(2, u'0');
        else
            out += c;
    }
    return out;
}

bool KeyValueFile::hasControl(QByteArrayView value) {
    return std::any_of(value.begin(), value.end(),
                       [](char c) { return uchar(c) < 0x20 || c == 0x7F; });
}

} // namespace jackwell

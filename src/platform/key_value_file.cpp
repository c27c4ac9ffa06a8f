#include "platform/key_value_file.h"

#include <QFile>

#include <algorithm>
#include <utility>

namespace jackwell {

namespace {

constexpr qsizetype kMaxShownValue = 40;

} // namespace

std::optional<QByteArray> KeyValueFile::readText(const QString& path, const QString& kind,
                                                 QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot be read (%2)").arg(path, file.errorString());
        return std::nullopt;
    }
    QByteArray text = file.read(kMaxBytes + 1);
    if (text.size() > kMaxBytes) {
        *error = QStringLiteral("%1: larger than %2 bytes, not ").arg(path).arg(kMaxBytes) + kind;
        return std::nullopt;
    }
    return text;
}

KeyValueFile::KeyValueFile(const QByteArray& text, QString fileName)
    : fileName_(std::move(fileName)) {
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

QString KeyValueFile::missing(QByteArrayView key) const {
    return QStringLiteral("%1: no \"%2 = ...\" line")
        .arg(fileName_, QString::fromLatin1(key.data(), key.size()));
}

QString KeyValueFile::faultAt(int line, const QString& what) const {
    return QStringLiteral("%1, line %2: %3").arg(fileName_).arg(line).arg(what);
}

QString KeyValueFile::shown(const QByteArray& value) {
    QString text = QString::fromUtf8(value.left(kMaxShownValue));
    if (value.size() > kMaxShownValue)
        text += QStringLiteral("...");
    return u'"' + text + u'"';
}

bool KeyValueFile::hasControl(QByteArrayView value) {
    return std::any_of(value.begin(), value.end(),
                       [](char c) { return uchar(c) < 0x20 || c == 0x7F; });
}

} // namespace jackwell

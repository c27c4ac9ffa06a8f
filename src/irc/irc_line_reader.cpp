#include "irc/irc_line_reader.h"

#include <utility>

namespace jackwell {

QList<QByteArray> IrcLineReader::feed(QByteArrayView bytes) {
    QList<QByteArray> lines;
    feed(bytes, [&](QByteArrayView line) {
        lines.append(line.toByteArray());
        return true;
    });
    return lines;
}

void IrcLineReader::feed(QByteArrayView bytes,
                         const std::function<bool(QByteArrayView line)>& take) {
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        QByteArrayView piece = end < 0 ? bytes : bytes.first(end);
        if (end >= 0 && pending_.isEmpty() && !skipping_) {
            // A whole line inside the bytes: handed on as it lies.
            bytes = bytes.sliced(end + 1);
            if (piece.endsWith('\r'))
                piece.chop(1);
            if (piece.size() > kMaxLineBytes)
                ++discarded_;
            else if (!piece.isEmpty() && !take(piece))
                return;
            continue;
        }
        if (!skipping_) {
            // One byte of room for the CR in front of the LF.
            if (pending_.size() + piece.size() > kMaxLineBytes + 1) {
                pending_.clear();
                skipping_ = true;
                ++discarded_;
            } else {
                pending_.append(piece);
            }
        }
        if (end < 0)
            break;
        bytes = bytes.sliced(end + 1);
        if (skipping_) {
            skipping_ = false;
            continue;
        }
        if (pending_.endsWith('\r'))
            pending_.chop(1);
        const QByteArray line = std::exchange(pending_, {});
        if (line.size() > kMaxLineBytes)
            ++discarded_;
        else if (!line.isEmpty() && !take(line))
            return;
    }
}

void IrcLineReader::clear() {
    pending_.clear();
    skipping_ = false;
}

} // namespace jackwell

#include "irc/irc_line_reader.h"

namespace jackwell {

QList<QByteArray> IrcLineReader::feed(QByteArrayView bytes) {
    QList<QByteArray> lines;
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView piece = end < 0 ? bytes : bytes.first(end);
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
        if (pending_.size() > kMaxLineBytes)
            ++discarded_;
        else if (!pending_.isEmpty())
            lines.append(pending_);
        pending_.clear();
    }
    return lines;
}

void IrcLineReader::clear() {
    pending_.clear();
    skipping_ = false;
}

} // namespace jackwell

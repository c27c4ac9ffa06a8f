#include "chat/chat_log.h"

namespace jackwell {

namespace {
const QByteArray kFiller = QByteArray("    ") + '\0';
} // namespace

ChatLog::ChatLog()
    : delivered_(kFiller) {}

void ChatLog::appendLine(const QString& line) {
    QString clean = line;
    clean.replace(u'\r', u' ').replace(u'\n', u' ').replace(QChar(u'\0'), u' ');
    delivered_.chop(kFiller.size());
    if (lines_ > 0)
        delivered_.append("\r\n");
    delivered_.append(clean.toUtf8());
    delivered_.append(kFiller);
    ++lines_;
    if (delivered_.size() > kMaxBytes)
        dropOldest();
    if (lineAdded_)
        lineAdded_(clean);
}

void ChatLog::appendSystem(const QString& text) {
    appendLine(QStringLiteral("<system>: ") + text);
}

QByteArray ChatLog::lines() const {
    return delivered_.left(delivered_.size() - kFiller.size());
}

// Drops whole lines from the front until a quarter of the room is free again.
void ChatLog::dropOldest() {
    const qsizetype target = kMaxBytes - kMaxBytes / 4;
    qsizetype cut = 0;
    qsizetype dropped = 0;
    while (delivered_.size() - cut > target && dropped < lines_ - 1) {
        const qsizetype end = delivered_.indexOf("\r\n", cut);
        if (end < 0)
            break;
        cut = end + 2;
        ++dropped;
    }
    delivered_.remove(0, cut);
    lines_ -= dropped;
}

} // namespace jackwell

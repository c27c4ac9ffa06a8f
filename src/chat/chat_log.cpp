#include "chat/chat_log.h"

namespace jackwell {

void ChatLog::appendLine(const QString& line) {
    QString clean = line;
    clean.replace(u'\r', u' ').replace(u'\n', u' ').replace(QChar(u'\0'), u' ');
    if (lineCount_ > 0)
        lines_.append("\r\n");
    lines_.append(clean.toUtf8());
    ++lineCount_;
    if (lines_.size() > maxBytes_)
        dropOldest();
    if (lineAdded_)
        lineAdded_(clean);
}

void ChatLog::appendSystem(const QString& text) {
    appendLine(QStringLiteral("<system>: ") + text);
}

// Drops whole lines from the front until a quarter of the room is free again.
void ChatLog::dropOldest() {
    const qsizetype target = maxBytes_ - maxBytes_ / 4;
    qsizetype cut = 0;
    qsizetype dropped = 0;
    while (lines_.size() - cut > target && dropped < lineCount_ - 1) {
        const qsizetype end = lines_.indexOf("\r\n", cut);
        if (end < 0)
            break;
        cut = end + 2;
        ++dropped;
    }
    lines_.remove(0, cut);
    lineCount_ -= dropped;
}

} // namespace jackwell

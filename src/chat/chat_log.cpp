#include "chat/chat_log.h"

#include <algorithm>

namespace jackwell {

void markLineBreaks(QString& text) {
    for (QChar& c : text) {
        switch (c.unicode()) {
        case u'\v':
        case u'\f':
        case u'\u0085':
        case QChar::LineSeparator:
            c = QChar(u'\u21B5'); // ↵
            break;
        case QChar::ParagraphSeparator:
            c = QChar(u'\u00B6'); // ¶
            break;
        default:
            break;
        }
    }
}

void ChatLog::appendLine(const QString& line, int greeting) {
    QString clean = line;
    clean.replace(u'\r', u' ').replace(u'\n', u' ').replace(QChar(u'\0'), u' ');
    markLineBreaks(clean);
    if (lineCount_ > 0)
        lines_.append("\r\n");
    lines_.append(clean.toUtf8());
    ++lineCount_;
    if (greeting > 0)
        greetings_.emplace_back(dropped_ + lineCount_ - 1, greeting);
    if (lines_.size() > maxBytes_)
        dropOldest();
    if (lineAdded_)
        lineAdded_(clean, greeting);
}

void ChatLog::appendSystem(const QString& text) {
    appendLine(QStringLiteral("<system>: ") + text);
}

int ChatLog::greetingOf(qsizetype index) const {
    const qint64 number = dropped_ + index;
    const auto found =
        std::lower_bound(greetings_.begin(), greetings_.end(), std::pair<qint64, int>(number, 0));
    return found != greetings_.end() && found->first == number ? found->second : 0;
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
    dropped_ += dropped;
    while (!greetings_.empty() && greetings_.front().first < dropped_)
        greetings_.pop_front();
}

} // namespace jackwell

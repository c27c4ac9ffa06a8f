#include "protocol/chat_lines.h"

namespace jackwell {

namespace {
const QString kOutgoingPrefix = QStringLiteral("ESP to");
const QString kIncomingPrefix = QStringLiteral("ESP from");
} // namespace

ChatLine normaliseLine(QStringView line) {
    if (line.startsWith(kOutgoingPrefix))
        return {line.mid(qMin<qsizetype>(line.size(), kOutgoingPrefix.size() + 1)),
                LineKind::Outgoing};
    if (line.startsWith(kIncomingPrefix))
        return {line.mid(qMin<qsizetype>(line.size(), kIncomingPrefix.size() + 1)),
                LineKind::Incoming};
    return {line, LineKind::Other};
}

std::optional<Message> findMessage(const ChatLine& line, QStringView marker, qsizetype kept) {
    const qsizetype at = line.text.indexOf(marker);
    if (at < 0)
        return std::nullopt;
    const QStringView speaker = line.text.left(at);
    if (speaker == kSystemSpeaker)
        return std::nullopt;
    // The window counts from the line's start: the marker's position (from 1) plus `kept`.
    return Message{speaker, line.text.left(at + 1 + kept)};
}

} // namespace jackwell

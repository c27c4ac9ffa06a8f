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

qsizetype indexOfMarker(QStringView line, QStringView marker) {
    if (marker.isEmpty())
        return 0;
    // A try costs at most the marker's length; with a marker whose first
    // character does not come back early in it, a try that gets far has passed
    // characters free of that one, so the search stays a single pass.
    const QChar first = marker.front();
    for (qsizetype at = line.indexOf(first); at >= 0; at = line.indexOf(first, at + 1)) {
        if (line.size() - at < marker.size())
            return -1;
        if (line.sliced(at, marker.size()) == marker)
            return at;
    }
    return -1;
}

std::optional<Message> findMessage(const ChatLine& line, QStringView marker, qsizetype kept) {
    const qsizetype at = indexOfMarker(line.text, marker);
    if (at < 0)
        return std::nullopt;
    const QStringView speaker = line.text.left(at);
    if (speaker == kSystemSpeaker)
        return std::nullopt;
    // The window counts from the line's start: the marker's position (from 1) plus `kept`.
    return Message{speaker, line.text.left(at + 1 + kept)};
}

QStringView bodyAfter(QStringView window, QStringView start) {
    const qsizetype at = window.indexOf(start);
    if (at < 0)
        return {};
    const QStringView rest = window.mid(at + start.size());
    const qsizetype next = rest.indexOf(start);
    return next < 0 ? rest : rest.left(next);
}

} // namespace jackwell

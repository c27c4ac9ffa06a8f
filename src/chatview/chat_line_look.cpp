#include "chatview/chat_line_look.h"

namespace jackwell {

namespace {

const QString kToPrefix = QStringLiteral("ESP to");
const QString kFromPrefix = QStringLiteral("ESP from");
const QString kSystemSpeaker = QStringLiteral("<system>");
const QString kNameEnd = QStringLiteral(": ");

// The name in front of the first ": " from `from` on; empty when there is none.
QString nameAt(const QString& line, qsizetype from) {
    const qsizetype end = line.indexOf(kNameEnd, from);
    return end < 0 ? QString() : line.mid(from, end - from);
}

} // namespace

ChatLineLook lookOf(const QString& line, const QString& ownName, const QString& keeperName) {
    ChatLineLook look;
    if (line.startsWith(kToPrefix)) {
        look.kind = ChatLineKind::PrivateTo;
        look.speaker = nameAt(line, kToPrefix.size() + 1);
        look.own = true;
    } else if (line.startsWith(kFromPrefix)) {
        look.kind = ChatLineKind::PrivateFrom;
        look.speaker = nameAt(line, kFromPrefix.size() + 1);
    } else {
        look.speaker = nameAt(line, 0);
        if (look.speaker == kSystemSpeaker) {
            look.kind = ChatLineKind::System;
            look.speaker.clear();
            return look;
        }
        look.own = !ownName.isEmpty() && look.speaker.compare(ownName, Qt::CaseInsensitive) == 0;
    }
    look.keeper = !keeperName.isEmpty() && look.speaker == keeperName;
    return look;
}

} // namespace jackwell

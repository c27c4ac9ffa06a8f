#include "chatview/shown_line.h"

#include "chat/chat_log.h"
#include "machine/pay_table.h"
#include "protocol/chat_lines.h"
#include "protocol/markers.h"
#include "reels/card_state.h"

#include <QStringTokenizer>

namespace jackwell {

namespace {

// CR and LF (which the chat log never holds, but a line of the window's own may), and the
// characters a text view gives a meaning of its own: its frame marks and embedded objects.
QChar visible(QChar c) {
    switch (c.unicode()) {
    case u'\r':
    case u'\n':
        return QChar(u'\u21B5'); // ↵
    case u'\uFDD0':
    case u'\uFDD1':
    case QChar::ObjectReplacementCharacter:
        return QChar::ReplacementCharacter;
    default:
        return c;
    }
}

qsizetype offsetIn(const QString& line, QStringView part) {
    return part.constData() - line.constData();
}

// The reel codes stand at characters 4-5, 9-10 and 14-15 of a draw's body.
void markDraw(const QString& line, const ChatLine& normal, const QString& marker, qsizetype kept,
              const QString& bodyStart, std::vector<SymbolMark>& marks) {
    if (normal.kind != LineKind::Incoming)
        return;
    const auto message = findMessage(normal, marker, kept);
    if (!message)
        return;
    const QStringView body = bodyAfter(message->window, bodyStart);
    for (qsizetype codeAt : {3, 8, 13}) {
        const QStringView code = body.mid(codeAt, 2);
        const int image = symbolImage(codeValue(code.toString()));
        if (image != kNoImage)
            marks.push_back({offsetIn(line, code) + code.size(), image});
    }
}

// The amounts follow the marker behind two colons, one to a row, each ended by a colon.
void markPayouts(const QString& line, const ChatLine& normal, std::vector<SymbolMark>& marks) {
    const auto message = findMessage(normal, kPayoutsMarker, kPayoutsKept);
    if (!message)
        return;
    int index = 0;
    for (QStringView part : qTokenize(message->fromMarker(), u':')) {
        const int row = index++ - 2;
        if (row >= int(machine::kPayTable.size()))
            break;
        if (row < 0 || part.trimmed().isEmpty())
            continue;
        const machine::PayRow& pay = machine::kPayTable[std::size_t(row)];
        for (int i = 0; i < pay.count; ++i)
            marks.push_back({offsetIn(line, part) + part.size(), pay.symbol});
    }
}

} // namespace

QString shownLine(const QString& line) {
    QString shown = line.left(kLongestShownLine);
    if (shown.size() < line.size() && shown.back().isHighSurrogate())
        shown.chop(1);
    for (QChar& c : shown)
        c = visible(c);
    markLineBreaks(shown);
    if (shown.size() < line.size())
        shown += QStringLiteral(" \u2026 [%1 more characters]").arg(line.size() - shown.size());
    return shown;
}

std::vector<SymbolMark> symbolMarks(const QString& line) {
    std::vector<SymbolMark> marks;
    const ChatLine normal = normaliseLine(line);
    markDraw(line, normal, kFirstMarker, kFirstKept, kFirstBodyStart, marks);
    markDraw(line, normal, kFinalMarker, kFinalKept, kFinalBodyStart, marks);
    markPayouts(line, normal, marks);
    std::stable_sort(marks.begin(), marks.end(),
                     [](const SymbolMark& a, const SymbolMark& b) { return a.at < b.at; });
    return marks;
}

} // namespace jackwell

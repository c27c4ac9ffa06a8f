#include "protocol/draw_lines.h"

#include "protocol/marked_lines.h"
#include "protocol/markers.h"

#include <array>

namespace jackwell {

namespace {

struct Pattern {
    DrawLines::Kind kind;
    const QString& marker;
    LineKind from;
};

// A line counts as the first pattern it matches.
const std::array<Pattern, 5> kPatterns{{
    {DrawLines::Kind::First, kFirstMarker, LineKind::Incoming},
    {DrawLines::Kind::Final, kFinalMarker, LineKind::Incoming},
    {DrawLines::Kind::Balance, kBalanceMarker, LineKind::Incoming},
    {DrawLines::Kind::Holds, kHoldsMarker, LineKind::Outgoing},
    {DrawLines::Kind::Register, kRegisterMarker, LineKind::Outgoing},
}};
// Each kind has its pattern, so the kinds index the patterns' counts.
static_assert(std::size_t(DrawLines::Kind::Register) + 1 == kPatterns.size());

// "Register me!" is known by its whole text standing right behind the recipient; every other
// line by its marker.
bool matches(const Pattern& pattern, const ChatLine& line, const Message& message) {
    return pattern.kind != DrawLines::Kind::Register ||
           line.text.sliced(message.speaker.size()) == pattern.marker;
}

} // namespace

DrawLines DrawLines::read(Tokenizer& tokenizer, const QString& chatText) {
    DrawLines read;
    std::array<int, kPatterns.size()> counts{}; // by kind
    const auto markers = {QStringView(kFirstMarker), QStringView(kFinalMarker),
                          QStringView(kBalanceMarker), QStringView(kHoldsMarker),
                          QStringView(kRegisterMarker)};
    walkMarkedLines(tokenizer, chatText, markers, [&](const ChatLine& line) {
        for (const Pattern& pattern : kPatterns) {
            if (line.kind != pattern.from)
                continue;
            const auto message = findMessage(line, pattern.marker, 0);
            if (!message || !matches(pattern, line, *message))
                continue;
            read.lines_.push_back(
                {pattern.kind, line.text.toString(), ++counts[size_t(pattern.kind)]});
            return;
        }
    });
    return read;
}

qsizetype DrawLines::indexOf(Kind kind, const std::optional<ShownLine>& shown) const {
    if (!shown)
        return -1;
    qsizetype lastSameText = -1;
    for (qsizetype i = 0; i < qsizetype(lines_.size()); ++i) {
        const Line& line = lines_[i];
        if (line.kind != kind || line.text != shown->text)
            continue;
        if (line.ordinal == shown->ordinal)
            return i;
        lastSameText = i;
    }
    // Lines dropped from the front renumber the rest: the shown line is then the last one with
    // its text, or gone.
    return lastSameText;
}

qsizetype DrawLines::lastOf(Kind kind, qsizetype after) const {
    for (qsizetype i = qsizetype(lines_.size()) - 1; i > after; --i) {
        if (lines_[i].kind == kind)
            return i;
    }
    return -1;
}

qsizetype DrawLines::firstOf(Kind kind, qsizetype after) const {
    for (qsizetype i = after + 1; i < qsizetype(lines_.size()); ++i) {
        if (lines_[i].kind == kind)
            return i;
    }
    return -1;
}

std::optional<ShownLine> DrawLines::newFirst(const std::optional<ShownLine>& shownFirst) const {
    const qsizetype last = lastOf(Kind::First, indexOf(Kind::First, shownFirst));
    if (last < 0)
        return std::nullopt;
    return shownAt(lines_[last]);
}

std::optional<ShownLine> DrawLines::newFinal(const std::optional<ShownLine>& shownFirst,
                                             const std::optional<ShownLine>& shownFinal) const {
    const qsizetype holds = firstOf(Kind::Holds, indexOf(Kind::First, shownFirst));
    if (holds < 0)
        return std::nullopt;
    const qsizetype last = lastOf(Kind::Final, std::max(holds, indexOf(Kind::Final, shownFinal)));
    if (last < 0)
        return std::nullopt;
    return shownAt(lines_[last]);
}

std::optional<QString> DrawLines::balance() const {
    qsizetype last = -1;
    for (qsizetype i = 0; i < qsizetype(lines_.size()); ++i) {
        if (lines_[i].kind == Kind::Balance || lines_[i].kind == Kind::Final)
            last = i;
    }
    if (last < 0 || lines_[last].kind != Kind::Balance)
        return std::nullopt;
    // "NAME: CREDITS: (98)": the credits stand between the parentheses.
    const QString& text = lines_[last].text;
    const qsizetype open = text.lastIndexOf(u'(');
    if (open < 0 || !text.endsWith(u')'))
        return std::nullopt;
    return text.mid(open + 1, text.size() - open - 2);
}

bool DrawLines::registrationAnswered() const {
    const qsizetype sent = lastOf(Kind::Register, -1);
    return sent >= 0 && (lastOf(Kind::First, sent) >= 0 || lastOf(Kind::Balance, sent) >= 0);
}

} // namespace jackwell

#include "chatview/link_status_text.h"

#include <cmath>

namespace jackwell {

namespace {

constexpr int kSecondsPerDay = 24 * 3600;

// " (next try in 3 s)", " (trying now)", or nothing when no attempt is planned.
QString nextTry(const ChatLinkStatus& status) {
    if (!status.nextTryInMs)
        return {};
    if (*status.nextTryInMs <= 0)
        return QStringLiteral(" (trying now)");
    const qint64 seconds = (*status.nextTryInMs + 999) / 1000;
    return QStringLiteral(" (next try in %1 s)").arg(seconds);
}

QString clockTime(double secondsSinceMidnight) {
    // Yesterday's -60 is 23:59.
    const int seconds =
        (int(std::floor(secondsSinceMidnight)) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
    return QStringLiteral("%1:%2")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString linkStatusText(const ChatLinkStatus& status) {
    switch (status.state) {
    case ChatLinkStatus::State::Embedded:
        return QStringLiteral("Embedded world");
    case ChatLinkStatus::State::Connected:
        if (status.channel.isEmpty())
            return QStringLiteral("Connected to %1 as %2").arg(status.server, status.nick);
        return QStringLiteral("Connected to %1 as %2 in %3")
            .arg(status.server, status.nick, status.channel);
    case ChatLinkStatus::State::Reconnecting:
        return QStringLiteral("Reconnecting to %1").arg(status.server) + nextTry(status);
    case ChatLinkStatus::State::Offline:
        break;
    }
    if (!status.offlineSince)
        return QStringLiteral("Offline") + nextTry(status);
    return QStringLiteral("Offline since %1").arg(clockTime(*status.offlineSince)) +
           nextTry(status);
}

bool isCountingDown(const ChatLinkStatus& status) {
    return (status.state == ChatLinkStatus::State::Reconnecting ||
            status.state == ChatLinkStatus::State::Offline) &&
           status.nextTryInMs.has_value();
}

} // namespace jackwell

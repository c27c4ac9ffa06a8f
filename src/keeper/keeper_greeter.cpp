#include "keeper/keeper_greeter.h"

#include "clock/clock.h"
#include "irc/irc_connection.h"
#include "keeper/keeper_send_queue.h"
#include "machine/messages.h"
#include "machine/texts.h"

#include <algorithm>

namespace jackwell::keeper {

KeeperGreeter::KeeperGreeter(Clock& clock, KeeperSendQueue& queue, const IrcConnection& connection,
                             bool enabled)
    : clock_(clock)
    , queue_(queue)
    , connection_(connection)
    , enabled_(enabled) {}

void KeeperGreeter::greetChannel() {
    if (enabled_)
        announce();
}

// The banner and the announcement; a greeting still waiting to go out serves whoever joins
// meanwhile.
void KeeperGreeter::announce() {
    const QByteArray& channel = connection_.config().channel;
    const QString lane = KeeperSendQueue::channelLane(channel);
    if (queue_.waitingIn(lane) > 0)
        return;
    const QString name = QString::fromLatin1(connection_.nick());
    for (const QString& text : {QString(machine::kWelcomeBanner), machine::announcementLine(name)})
        queue_.push(lane, ircLine("PRIVMSG", {channel}, text.toUtf8()));
    channelGreetedAtMs_ = clock_.monotonicMs();
}

void KeeperGreeter::greetJoining(const QByteArray& nick, const QString& player) {
    if (!enabled_)
        return;
    const qint64 now = clock_.monotonicMs();
    if (channelGreetedAtMs_ < 0 || now - channelGreetedAtMs_ >= kChannelGreetingMs)
        announce();
    if (queue_.waitingLines() >= kBusyLines)
        return;
    auto found = greetedAt_.find(player);
    if (found != greetedAt_.end() && now - found->front() < kPlayerGreetingMs)
        return;
    if (found == greetedAt_.end()) {
        if (greetedAt_.size() >= kGreetedAtMost) {
            greetedAt_.removeIf(
                [&](const auto& entry) { return now - entry.value().back() >= kPlayerGreetingMs; });
            if (greetedAt_.size() >= kGreetedAtMost)
                return; // greeted enough for now
        }
        std::array<qint64, kPlayerGreetings> never;
        never.fill(now - kPlayerGreetingMs);
        found = greetedAt_.insert(player, never);
    }
    std::shift_left(found->begin(), found->end(), 1);
    found->back() = now;
    const QString name = QString::fromLatin1(connection_.nick());
    queue_.push(player, ircLine("PRIVMSG", {nick}, machine::announcementLine(name).toUtf8()));
}

void KeeperGreeter::nicknameChanged(bool inChannel) {
    queue_.dropLane(KeeperSendQueue::channelLane(connection_.config().channel));
    if (inChannel)
        greetChannel();
}

} // namespace jackwell::keeper

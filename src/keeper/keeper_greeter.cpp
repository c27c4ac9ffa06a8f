#include "keeper/keeper_greeter.h"

#include "clock/clock.h"
#include "irc/irc_connection.h"
#include "keeper/keeper_send_queue.h"
#include "machine/messages.h"
#include "machine/texts.h"

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
    const auto found = greetedAt_.constFind(player);
    if (found != greetedAt_.cend() && now - *found < kPlayerGreetingMs)
        return;
    if (greetedAt_.size() >= kGreetedAtMost) {
        greetedAt_.removeIf(
            [&](const auto& entry) { return now - entry.value() >= kPlayerGreetingMs; });
        if (greetedAt_.size() >= kGreetedAtMost)
            return; // greeted enough for now
    }
    greetedAt_.insert(player, now);
    const QString name = QString::fromLatin1(connection_.nick());
    queue_.push(player, ircLine("PRIVMSG", {nick}, machine::announcementLine(name).toUtf8()));
}

void KeeperGreeter::nicknameChanged(bool inChannel) {
    queue_.dropLane(KeeperSendQueue::channelLane(connection_.config().channel));
    if (inChannel)
        greetChannel();
}

} // namespace jackwell::keeper

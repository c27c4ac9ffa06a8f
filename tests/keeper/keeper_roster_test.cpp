// Who the robot counts as in its channel, and whose account it knows: whom the server names there,
// until it says they are gone.
#include "clock/virtual_clock.h"
#include "irc/irc_connection.h"
#include "keeper/keeper_roster.h"
#include "keeper/keeper_send_queue.h"

#include <gtest/gtest.h>

namespace jackwell::keeper {
namespace {

TEST(KeeperRosterTest, MembersAreWhomTheServerNamesInTheChannelUntilItSaysTheyAreGone) {
    VirtualClock clock;
    IrcConnection connection(
        clock, *parseIrcConfig("server=s\nnick=Rivet\nchannel=#casino", "-").config, {});
    KeeperSendQueue queue(clock, [](const QByteArray&) {});
    KeeperRoster roster(clock, connection, queue, {{}, {}, [](auto&) {}, {}, [](auto, auto&) {}});
    const auto take = [&](const QByteArray& line) { roster.take(*parseIrcLine(line)); };
    const auto state = [&] { // members capitalised, others not; "-": seen to go; "@": account
        QByteArrayList in;
        for (const QByteArray nick : {"Owner", "Op", "Voiced", "Plain", "Renamed", "Stranger"}) {
            const QString key = roster.keyOf(nick);
            in << QByteArray(roster.presence().isGone(key) ? "-" : "") +
                      (roster.accounts().accountOf(key) ? "@" : "") +
                      (roster.isMember(key) ? nick : nick.toLower());
        }
        return in.join(' ').toStdString();
    };
    take(":s 401 Rivet Op :No such nick"); // before the names came
    take(":s 353 Rivet = #Casino :~Owner @Op +Voiced Plain");
    take(":s 353 Rivet = #other :Stranger");
    for (const QByteArray nick : {"Owner", "Op", "Voiced", "Plain"}) // account-notify's news
        take(":" + nick + "!u@h ACCOUNT " + nick.toLower());
    EXPECT_EQ(state(), "@Owner @Op @Voiced @Plain renamed stranger");
    take(":s 401 Rivet Voiced :No such nick");
    take(":Plain!u@h NICK Renamed");
    take(":Op!o@h KICK #casino Owner :out");
    EXPECT_EQ(state(), "-owner @Op -voiced -plain Renamed stranger");
}

} // namespace
} // namespace jackwell::keeper

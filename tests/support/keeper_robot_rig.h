#pragma once

// The robot's tests share this fixture: a private ngircd on loopback, flood limits as shipped and
// an operator block for the robot; SQLite books in a temporary folder; the robot's log (printed
// when a test fails); what it told each player. The names and the wait serve the process tests too.

#include "books/ledger_audit.h"
#include "books/sqlite_books.h"
#include "clock/real_clock.h"
#include "clock/virtual_clock.h"
#include "keeper/keeper_robot.h"
#include "machine/messages.h"
#include "machine/texts.h"
#include "support/irc_test_peer.h"
#include "support/ngircd_server.h"
#include "support/qt_printers.h"
#include "support/scripted_irc_server.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <iostream>

namespace jackwell::testing {

inline const QByteArray kKeeper = "Rivet";
inline const QByteArray kChannel = "#casino";
inline const QByteArray kOperName = "keeperop";
inline const QByteArray kOperPassword = "keeperpass";
inline const QByteArray kOperLine = "oper = " + kOperName + " " + kOperPassword + "\n";

// A text of the machinekeeper's as it goes over the wire.
inline QByteArray wire(QLatin1StringView text) {
    return QByteArray(text.data(), text.size());
}
inline QByteArray wire(const QString& text) {
    return text.toUtf8();
}
inline const QByteArray kRegister = wire(machine::kRegisterRequest);
inline const QByteArray kFirstHead = wire(machine::kFirstDrawHead);
inline const QByteArray kFinalHead = wire(machine::kFinalDrawHead);

// What the machinekeeper told `peer` privately that begins with `start`, in order.
inline QList<QByteArray> toldTo(const IrcTestPeer& peer, QByteArrayView start = {}) {
    return peer.privmsgsFrom(kKeeper, start);
}
inline int countTold(const IrcTestPeer& peer, QByteArrayView start) {
    return int(toldTo(peer, start).size());
}
// "I hold " and `holds`.
inline QByteArray holdsLine(const char* holds) {
    return wire(machine::kHoldPrefix) + holds;
}

class KeeperRobotRig : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(server.start(&error)) << error;
        books = books::SqliteBooks::create(dir.filePath("books.sqlite"), &error);
        ASSERT_TRUE(books) << error;
    }

    void TearDown() override {
        if (HasFailure())
            std::cerr << "robot log:\n" << robotLog.join('\n') << "\n";
    }

    // The robot as Rivet in #casino, with the operator's credentials.
    keeper::KeeperConfig robotConfig() const {
        keeper::KeeperConfig config;
        config.irc.server = NgircdServer::kHost;
        config.irc.port = server.port();
        config.irc.nick = kKeeper;
        config.irc.channel = kChannel;
        config.booksPath = dir.filePath("books.sqlite");
        config.operName = kOperName;
        config.operPassword = kOperPassword;
        return config;
    }

    // A robot on `on`'s time (and `with` books, else the rig's), started and heard speaking.
    std::unique_ptr<keeper::KeeperRobot> startRobot(Clock& on, const keeper::KeeperConfig& config,
                                                    quint64 seed, int waitMs = kWaitMs,
                                                    books::KeeperBooks* with = nullptr) {
        auto robot = std::make_unique<keeper::KeeperRobot>(
            on, config, with ? *with : *books, seed, [this](const QString& t) { robotLog << t; });
        robot->start();
        EXPECT_TRUE(waitUntil([&] { return robot->isSpeaking(); }, waitMs));
        return robot;
    }

    // A robot on `on`'s time, welcomed by `fake` as `nick`; null unless it asked for exemption.
    std::unique_ptr<keeper::KeeperRobot> welcomedBy(ScriptedIrcServer& fake, Clock& on,
                                                    const QByteArray& nick = "Rivet") {
        keeper::KeeperConfig config = robotConfig();
        config.irc.port = fake.listen(0) ? fake.listener.serverPort() : 0; // 0: never connects
        auto robot = std::make_unique<keeper::KeeperRobot>(
            on, config, *books, 5, [this](const QString& t) { robotLog << t; });
        robot->start();
        if (!waitUntil([&] { return fake.received.size() >= 3; })) // CAP, NICK, USER
            return nullptr;
        if (nick != "Rivet")
            fake.send(":irc.test 433 * Rivet :Nickname is already in use\r\n");
        fake.send(":irc.test 001 " + nick + " :Welcome\r\n:irc.test 376 " + nick + " :End\r\n");
        return fake.waitForLine("MODE " + nick + " +F") ? std::move(robot) : nullptr;
    }

    // Drops `fake`'s connection and lets the robot, on `on`'s time, connect and register again.
    static bool reconnected(ScriptedIrcServer& fake, VirtualClock& on, keeper::KeeperRobot& robot) {
        const auto users = [&] {
            return fake.received.count("USER jackwell 0 * :Jackwell player");
        };
        const qsizetype before = users();
        fake.client->abort();
        if (!waitUntil([&] { return !robot.isSpeaking(); }))
            return false;
        on.advance(IrcConnection::kFirstRetryMs);
        return waitUntil([&] { return users() > before; });
    }

    // A player connected to the server (trying again while the server still holds the name of
    // its last connection), in the robot's channel when asked.
    std::unique_ptr<IrcTestPeer> connectPlayer(const QByteArray& nick, bool joinChannel = false) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            auto peer = std::make_unique<IrcTestPeer>(nick);
            if (peer->connectTo(server.port(), 2000) && (!joinChannel || peer->join(kChannel)))
                return peer;
            runEventsFor(200);
        }
        ADD_FAILURE() << "cannot connect as " << nick;
        return std::make_unique<IrcTestPeer>(nick);
    }

    // The books as a second connection reads them, beside the robot's own (its alone while alive).
    books::KeeperBooks& readBooks() {
        QString error;
        if (!reader)
            reader = books::SqliteBooks::open(dir.filePath("books.sqlite"), &error,
                                              books::BooksPurpose::Audit);
        EXPECT_TRUE(reader) << error;
        return *reader;
    }
    machine::PlayerRecord recordOf(const QString& player) {
        return readBooks().load(player).value();
    }

    // What `player` was told through `peer` is what the books hold: one result for each game
    // booked and in its order, each game on the first draw told before it, the holds `holds`
    // played, the draw waiting told last; the books balance. `drawsToldAgain`: twice in a row.
    void expectToldAsBooked(const IrcTestPeer& peer, const QString& player,
                            std::optional<machine::HoldMask> holds = std::nullopt,
                            bool drawsToldAgain = false) {
        books::Ledger ledger;
        ASSERT_TRUE(readBooks().readLedger(ledger)) << readBooks().lastError();
        QList<QByteArray> firsts, finals;
        for (const books::LedgerGame& game : ledger.games) {
            if (game.player != player)
                continue;
            firsts << machine::firstDrawLine(game.firstDraw).toUtf8();
            finals << machine::finalDrawLine(game.finalDraw, game.creditsAfter).toUtf8();
            EXPECT_EQ(game.holds, holds.value_or(game.holds)) << game.game;
            for (int reel = 0; reel < machine::kReelCount; ++reel) {
                if (game.holds[reel]) {
                    EXPECT_EQ(game.finalDraw[reel], game.firstDraw[reel]) << game.game;
                }
            }
        }
        if (const auto waiting = recordOf(player).pendingFirstDraw)
            firsts << machine::firstDrawLine(*waiting).toUtf8();
        QList<QByteArray> told = toldTo(peer, kFirstHead);
        if (drawsToldAgain)
            told.erase(std::unique(told.begin(), told.end()), told.end());
        EXPECT_EQ(told, firsts);
        EXPECT_EQ(toldTo(peer, kFinalHead), finals);
        const books::BooksAudit audit = books::auditLedger(ledger);
        EXPECT_TRUE(audit.balanced()) << audit.faults.join('\n');
    }

    NgircdServer server{{.operName = kOperName, .operPassword = kOperPassword}};
    QTemporaryDir dir;
    std::unique_ptr<books::SqliteBooks> books;
    std::unique_ptr<books::SqliteBooks> reader;
    RealClock clock;
    QStringList robotLog;
};

} // namespace jackwell::testing

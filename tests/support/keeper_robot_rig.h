#pragma once

// The robot's tests share this fixture: a private ngircd server on loopback with its flood limits
// as shipped and an operator block for the robot, SQLite books in a temporary folder, the robot's
// log (printed when a test fails), and what the robot told each player.

#include "clock/real_clock.h"
#include "keeper/keeper_robot.h"
#include "keeper/sqlite_books.h"
#include "support/irc_test_peer.h"
#include "support/ngircd_server.h"
#include "support/qt_printers.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <iostream>

namespace jackwell::testing {

inline constexpr int kWaitMs = 8000;
inline const QByteArray kKeeper = "Rivet";
inline const QByteArray kChannel = "#casino";
inline const QByteArray kOperName = "keeperop";
inline const QByteArray kOperPassword = "keeperpass";

// What the machinekeeper told `peer` privately, in order.
inline QList<QByteArray> toldTo(const IrcTestPeer& peer) {
    QList<QByteArray> texts;
    for (const IrcMessage& m : peer.received()) {
        if (m.command == "PRIVMSG" && nickOf(m.prefix) == kKeeper && m.param(0) == peer.nick())
            texts << m.param(1);
    }
    return texts;
}

inline int countTold(const IrcTestPeer& peer, const char* start) {
    return int(std::ranges::count_if(
        toldTo(peer), [&](const QByteArray& text) { return text.startsWith(start); }));
}

class KeeperRobotRig : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
        books = keeper::SqliteBooks::create(dir.filePath("books.sqlite"), &error);
        ASSERT_TRUE(books) << error.toStdString();
    }

    void TearDown() override {
        if (HasFailure())
            std::cerr << "robot log:\n" << robotLog.join('\n').toStdString() << "\n";
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

    // A robot on `on`'s time, started and waited for until it speaks.
    std::unique_ptr<keeper::KeeperRobot> startRobot(Clock& on, const keeper::KeeperConfig& config,
                                                    quint64 seed, int waitMs = kWaitMs) {
        auto robot = std::make_unique<keeper::KeeperRobot>(
            on, config, *books, seed, [this](const QString& t) { robotLog << t; });
        robot->start();
        EXPECT_TRUE(waitUntil([&] { return robot->isSpeaking(); }, waitMs));
        return robot;
    }

    NgircdServer server{{.operName = kOperName, .operPassword = kOperPassword}};
    QTemporaryDir dir;
    std::unique_ptr<keeper::SqliteBooks> books;
    RealClock clock;
    QStringList robotLog;
};

} // namespace jackwell::testing

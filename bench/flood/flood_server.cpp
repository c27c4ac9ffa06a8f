#include "flood_server.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace jackwell::bench {

namespace {

constexpr int kPaceMs = 5;
constexpr int kPingEveryMs = 500;
const QByteArray kServer = "flood.test";
const QByteArray kChannel = "#casino";
const QByteArray kPingToken = "flood-";

// The numerics and notices of a usual connect: the welcome, the server's features, the user
// counts and a message of the day of twenty lines.
QList<QByteArray> greeting(const QByteArray& nick) {
    const QByteArray to = ":" + kServer + " ";
    QList<QByteArray> lines = {
        ":" + kServer + " NOTICE * :*** Looking up your hostname",
        to + "001 " + nick + " :Welcome to the flood test network " + nick + "!~p@localhost",
        to + "002 " + nick + " :Your host is " + kServer + ", running version 1.0",
        to + "003 " + nick + " :This server has been started today",
        to + "004 " + nick + " " + kServer + " 1.0 iorw biklmnopstv",
        to + "005 " + nick + " NICKLEN=30 CHANTYPES=# PREFIX=(ov)@+ :are supported",
        to + "251 " + nick + " :There are 40 users and 2 services on 1 servers",
        to + "254 " + nick + " 3 :channels formed",
        to + "255 " + nick + " :I have 42 users, 2 services and 0 servers",
        to + "265 " + nick + " 42 50 :Current local users: 42, Max: 50",
        to + "266 " + nick + " 42 50 :Current global users: 42, Max: 50",
        to + "375 " + nick + " :- " + kServer + " message of the day",
    };
    for (int i = 1; i <= 20; ++i)
        lines.append(to + "372 " + nick + " :- Line " + QByteArray::number(i) +
                     " of the message of the day.");
    lines.append(to + "376 " + nick + " :End of MOTD command");
    return lines;
}

} // namespace

FloodServer::FloodServer() {
    pacer_.setInterval(kPaceMs);
    pinger_.setInterval(kPingEveryMs);
    connect(&pacer_, &QTimer::timeout, this, [this] { sendDue(); });
    connect(&pinger_, &QTimer::timeout, this, [this] { ping(); });
    connect(&listener_, &QTcpServer::newConnection, this,
            [this] { take(listener_.nextPendingConnection()); });
}

bool FloodServer::listen() {
    return listener_.listen(QHostAddress::LocalHost, 0);
}

void FloodServer::take(QTcpSocket* client) {
    if (client_) {
        client->deleteLater(); // one client only
        return;
    }
    client_ = client;
    connect(client_, &QTcpSocket::readyRead, this, [this] { readLines(); });
}

void FloodServer::readLines() {
    pending_ += client_->readAll();
    for (qsizetype end; (end = pending_.indexOf('\n')) >= 0; pending_.remove(0, end + 1))
        answer(pending_.left(end).trimmed());
}

void FloodServer::answer(const QByteArray& line) {
    const QList<QByteArray> words = line.split(' ');
    const QByteArray& command = words.first();
    if (command == "CAP" && words.value(1) == "LS") {
        client_->write(":" + kServer + " CAP * LS :\r\n");
    } else if (command == "NICK") {
        nick_ = words.value(1);
    } else if (command == "USER") {
        greet(nick_);
    } else if (command == "JOIN") {
        client_->write(":" + nick_ + "!~p@localhost JOIN " + kChannel + "\r\n:" + kServer +
                       " 353 " + nick_ + " = " + kChannel + " :" + nick_ + " Oskar Mabel\r\n:" +
                       kServer + " 366 " + nick_ + " " + kChannel + " :End of NAMES list\r\n");
        joined_ = true;
    } else if (command == "PONG") {
        const QByteArray token = words.value(words.size() - 1).mid(1);
        if (!token.startsWith(kPingToken))
            return;
        const auto asked = std::size_t(token.mid(kPingToken.size()).toInt());
        if (asked < asked_.size() && answersMs_[asked] < 0)
            answersMs_[asked] = double(clock_.nsecsElapsed()) / 1e6 - asked_[asked];
        if (done_ && !pacer_.isActive() && asked + 1 == asked_.size())
            std::exchange(done_, {})();
    }
}

void FloodServer::greet(const QByteArray& nick) {
    QByteArray burst;
    for (const QByteArray& line : greeting(nick))
        burst += line + "\r\n";
    client_->write(burst);
}

QByteArray FloodServer::channelLine(int number) const {
    QByteArray line = ":Oskar!~o@localhost PRIVMSG " + kChannel + " :Line " +
                      QByteArray::number(number) + " of the flood:";
    const QByteArray words = " the quick brown fox jumps over the lazy dog";
    while (line.size() + 2 < flood_.lineBytes)
        line += words;
    line.truncate(flood_.lineBytes - 2);
    return line + "\r\n";
}

void FloodServer::flood(Flood flood, std::function<void()> done) {
    flood_ = flood;
    done_ = std::move(done);
    clock_.start();
    pacer_.start();
    pinger_.start();
}

// Writes the lines due by now, so that the rate holds whatever the timer's jitter.
void FloodServer::sendDue() {
    const qint64 elapsedMs = clock_.elapsed();
    const qint64 total = qint64(flood_.linesPerSecond) * flood_.seconds;
    const qint64 due = std::min(total, elapsedMs * flood_.linesPerSecond / 1000);
    QByteArray burst;
    while (linesSent_ < due)
        burst += channelLine(++linesSent_);
    if (!burst.isEmpty())
        client_->write(burst);
    if (linesSent_ >= total) {
        pacer_.stop();
        pinger_.stop();
        ping(); // the last one: answered once everything before it was read
    }
}

void FloodServer::ping() {
    const QByteArray token = kPingToken + QByteArray::number(qulonglong(asked_.size()));
    asked_.push_back(double(clock_.nsecsElapsed()) / 1e6);
    answersMs_.push_back(-1);
    mostWaiting_ = std::max(mostWaiting_, client_->bytesToWrite());
    client_->write("PING :" + token + "\r\n");
}

} // namespace jackwell::bench

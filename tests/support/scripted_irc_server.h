#pragma once

// A server scripted by the test, for what ngircd will not do on demand: it takes one connection at
// a time (the latest), keeps every line received, and writes what the test says. It can only serve
// a reconnect: opening waits on its socket, which a server on the same thread could not answer.

#include "support/wait_until.h"

#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

namespace jackwell::testing {

struct ScriptedIrcServer {
    QTcpServer listener;
    QTcpSocket* client = nullptr;
    QList<QByteArray> received;
    QByteArray pending;
    QByteArray isonAnswer; // written for every ISON received, unless empty

    bool listen(quint16 port) {
        QObject::connect(&listener, &QTcpServer::newConnection, [this] {
            client = listener.nextPendingConnection();
            QObject::connect(client, &QTcpSocket::readyRead, [this] {
                pending += client->readAll();
                for (qsizetype end; (end = pending.indexOf("\r\n")) >= 0;
                     pending.remove(0, end + 2)) {
                    received.append(pending.left(end));
                    if (received.last().startsWith("ISON ") && !isonAnswer.isEmpty())
                        client->write(isonAnswer);
                }
            });
        });
        return listener.listen(QHostAddress::LocalHost, port);
    }
    bool waitForLine(const QByteArray& line, int timeoutMs = kWaitMs) {
        return waitUntil([&] { return received.contains(line); }, timeoutMs);
    }
    void send(const QByteArray& bytes) { client->write(bytes); }
    QByteArray heard() const { return received.join('\n'); }
};

} // namespace jackwell::testing

#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <functional>
#include <vector>

class QTcpSocket;

namespace jackwell::bench {

// A chat server scripted for one client: it registers it (no capabilities, the usual welcome,
// user counts and a message of the day), echoes its JOIN, and then floods the channel at a set
// rate while it asks PING every half second, noting how long each answer took.
class FloodServer : public QObject {
public:
    struct Flood {
        int linesPerSecond = 150;
        int seconds = 80;
        int lineBytes = 8192; // the whole line as sent, CR LF included
    };

    FloodServer();
    bool listen();
    quint16 port() const { return listener_.serverPort(); }

    // The client has joined its channel.
    bool joined() const { return joined_; }
    // Floods the channel; `done` runs once the last line went out and the client has answered
    // the PING that followed it.
    void flood(Flood flood, std::function<void()> done);

    int linesSent() const { return linesSent_; }
    // Answer times of the PINGs in ms, in the order they were asked (the last one followed the
    // flood's end); -1 for one still unanswered.
    const std::vector<double>& pingAnswersMs() const { return answersMs_; }
    // The most bytes that waited in this server's own buffer for the client to read when a
    // PING went out: what the client had not yet taken.
    qint64 mostWaiting() const { return mostWaiting_; }

private:
    void take(QTcpSocket* client);
    void readLines();
    void answer(const QByteArray& line);
    void greet(const QByteArray& nick);
    void sendDue();
    void ping();
    QByteArray channelLine(int number) const;

    QTcpServer listener_;
    QTcpSocket* client_ = nullptr;
    QByteArray pending_;
    QByteArray nick_ = "Player";
    bool joined_ = false;

    Flood flood_;
    QElapsedTimer clock_;
    QTimer pacer_;
    QTimer pinger_;
    int linesSent_ = 0;
    std::vector<double> asked_; // when each PING went out (ms since the flood began)
    std::vector<double> answersMs_;
    qint64 mostWaiting_ = 0;
    std::function<void()> done_;
};

} // namespace jackwell::bench

#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <functional>
#include <memory>

class QTcpSocket;

namespace jackwell {

class Alarm;
class Clock;

namespace keeper {

// The robot's figures over HTTP for a Prometheus server to scrape: GET /metrics answers them in
// the text format, anything else 404, one request a connection. Whoever connects is bounded: a
// request longer than kLongestRequest or slower than kRequestMs is dropped, and at most
// kMostClients connections are served at once: a new one takes the place of the one that has
// waited longest, so that connections left open (or opened again as they are dropped) never
// keep a scraper out.
class MetricsEndpoint : public QObject {
public:
    static constexpr qsizetype kLongestRequest = 8192;
    static constexpr int kRequestMs = 5000;
    static constexpr int kMostClients = 16;

    using Render = std::function<QByteArray()>;

    MetricsEndpoint(Clock& clock, Render render);
    ~MetricsEndpoint() override;

    // False, with `error` set, when the address cannot be listened on.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const { return server_.serverPort(); }

private:
    void accept();
    void read(QTcpSocket* client);
    void drop(QTcpSocket* client);

    Clock& clock_;
    Render render_;
    QTcpServer server_;
    struct Client {
        std::shared_ptr<Alarm> deadline;
        quint64 order = 0; // in the order they came
    };
    QHash<QTcpSocket*, Client> clients_;
    quint64 accepted_ = 0;
};

} // namespace keeper
} // namespace jackwell

#include "keeper/metrics_endpoint.h"

#include "clock/clock.h"

#include <QTcpSocket>

namespace jackwell::keeper {

namespace {

QByteArray response(const QByteArray& status, const QByteArray& type, const QByteArray& body) {
    return "HTTP/1.0 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

MetricsEndpoint::MetricsEndpoint(Clock& clock, Render render)
    : clock_(clock)
    , render_(std::move(render)) {
    connect(&server_, &QTcpServer::newConnection, this, [this] { accept(); });
}

MetricsEndpoint::~MetricsEndpoint() {
    for (QTcpSocket* client : clients_.keys())
        delete client;
}

bool MetricsEndpoint::listen(const QHostAddress& address, quint16 port, QString* error) {
    if (server_.listen(address, port))
        return true;
    *error = QStringLiteral("metrics: cannot listen on %1:%2 (%3)")
                 .arg(address.toString())
                 .arg(port)
                 .arg(server_.errorString());
    return false;
}

void MetricsEndpoint::accept() {
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        if (clients_.size() >= kMostClients) {
            auto oldest = clients_.begin();
            for (auto it = clients_.begin(); it != clients_.end(); ++it) {
                if (it->order < oldest->order)
                    oldest = it;
            }
            drop(oldest.key());
        }
        // Dropped from the event loop's next turn: not from inside the alarm's own call.
        std::shared_ptr<Alarm> deadline = clock_.createAlarm(
            [this, client] { clock_.callAfter(0, this, [this, client] { drop(client); }); });
        deadline->start(kRequestMs);
        clients_.insert(client, {std::move(deadline), ++accepted_});
        connect(client, &QTcpSocket::readyRead, this, [this, client] { read(client); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] { drop(client); });
    }
}

// The request line is all that matters; the answer goes once the headers have ended.
void MetricsEndpoint::read(QTcpSocket* client) {
    if (client->bytesAvailable() > kLongestRequest)
        return drop(client);
    const QByteArray head = client->peek(kLongestRequest);
    if (!head.contains("\r\n\r\n") && !head.contains("\n\n"))
        return;
    const QList<QByteArray> words = head.left(head.indexOf('\n')).trimmed().split(' ');
    const bool wanted = words.size() >= 2 && words[0] == "GET" &&
                        (words[1] == "/metrics" || words[1].startsWith("/metrics?"));
    client->write(wanted ? response("200 OK", "text/plain; version=0.0.4; charset=utf-8", render_())
                         : response("404 Not Found", "text/plain", "not found\n"));
    client->disconnectFromHost(); // after what was written has gone
    clients_.remove(client);
    client->disconnect(this);
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
}

void MetricsEndpoint::drop(QTcpSocket* client) {
    if (!clients_.remove(client))
        return;
    client->disconnect(this);
    client->abort();
    client->deleteLater();
}

} // namespace jackwell::keeper

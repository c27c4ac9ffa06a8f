#include "load_link_proxy.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>

namespace jackwell::load {

LinkProxy::LinkProxy(quint16 targetPort)
    : targetPort_(targetPort) {
    connect(&server_, &QTcpServer::newConnection, this, [this] { accept(); });
}

LinkProxy::~LinkProxy() {
    cut();
}

bool LinkProxy::listen() {
    return server_.listen(QHostAddress::LocalHost, 0);
}

void LinkProxy::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (cut_) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto pair = std::make_unique<Pair>();
        pair->near.reset(socket);
        socket->setParent(nullptr);
        pair->far = std::make_unique<QTcpSocket>();
        Pair* raw = pair.get();
        // What the near side writes before the far side answers waits in its socket.
        connect(raw->far.get(), &QTcpSocket::connected, this,
                [this, raw] { pass(*raw, *raw->near); });
        connect(raw->near.get(), &QTcpSocket::readyRead, this,
                [this, raw] { pass(*raw, *raw->near); });
        connect(raw->far.get(), &QTcpSocket::readyRead, this,
                [this, raw] { pass(*raw, *raw->far); });
        for (QTcpSocket* side : {raw->near.get(), raw->far.get()}) {
            connect(side, &QTcpSocket::disconnected, this, [this, side] { close(side); });
            connect(side, &QTcpSocket::errorOccurred, this, [this, side] { close(side); });
        }
        raw->far->connectToHost(QHostAddress::LocalHost, targetPort_);
        pairs_.push_back(std::move(pair));
    }
}

void LinkProxy::pass(Pair& pair, QTcpSocket& from) {
    QTcpSocket& to = &from == pair.near.get() ? *pair.far : *pair.near;
    if (to.state() != QAbstractSocket::ConnectedState)
        return;
    to.write(from.readAll());
}

// One side gone takes the other with it, later, outside the socket's own signal.
void LinkProxy::close(QTcpSocket* either) {
    const auto found = std::find_if(pairs_.begin(), pairs_.end(), [either](const auto& pair) {
        return pair->near.get() == either || pair->far.get() == either;
    });
    if (found == pairs_.end())
        return;
    Pair* pair = found->release();
    pairs_.erase(found);
    for (QTcpSocket* side : {pair->near.get(), pair->far.get()}) {
        side->disconnect(this);
        side->abort();
    }
    pair->near.release()->deleteLater();
    pair->far.release()->deleteLater();
    delete pair;
}

void LinkProxy::cut() {
    cut_ = true;
    while (!pairs_.empty())
        close(pairs_.front()->near.get());
}

} // namespace jackwell::load

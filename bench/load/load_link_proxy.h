#pragma once

#include <QObject>
#include <QTcpServer>

#include <memory>
#include <vector>

class QTcpSocket;

namespace jackwell::load {

// A TCP relay on 127.0.0.1 in front of one port, for the link between two IRC servers: whatever
// one side writes reaches the other, until the link is cut. Cutting closes every connection at
// once (each server sees its peer go, as when the network between them fails) and refuses new
// ones until the link is restored.
class LinkProxy : public QObject {
public:
    explicit LinkProxy(quint16 targetPort);
    ~LinkProxy() override;

    // Listens on a free port of 127.0.0.1; false when it cannot.
    bool listen();
    quint16 port() const { return server_.serverPort(); }

    void cut();
    void restore() { cut_ = false; }
    bool isCut() const { return cut_; }

private:
    struct Pair {
        std::unique_ptr<QTcpSocket> near; // the server that connected
        std::unique_ptr<QTcpSocket> far;  // to the target
    };

    void accept();
    void pass(Pair& pair, QTcpSocket& from);
    void close(QTcpSocket* either);

    quint16 targetPort_;
    QTcpServer server_;
    std::vector<std::unique_ptr<Pair>> pairs_;
    bool cut_ = false;
};

} // namespace jackwell::load

#pragma once

#include "irc/irc_line_reader.h"
#include "load_link_proxy.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTcpSocket>

#include <functional>
#include <memory>

namespace jackwell {

class Clock;

namespace load {

// A second IRC server linked to the first, for a network that can split. The first server waits
// for the link; the second connects to it through a LinkProxy that can cut the link and restore
// it. ngircd does not link again by itself after a cut: the load tool, as operator on the second
// server, asks it to (CONNECT), as a network's operator would.
class ServerLink : public QObject {
public:
    static inline const QByteArray kFirstName = "irc.load.local";
    static inline const QByteArray kSecondName = "irc2.load.local";

    // `folder`: where the second server's files go, beside the first's. Its port is chosen here.
    ServerLink(Clock& clock, QString folder, quint16 firstPort);
    ~ServerLink() override;

    // The first server's side of the link, written into the folder its configuration includes;
    // before that server starts.
    bool writeFirstSide(const QString& includeDir, QString* error);
    // Starts the proxy and the second server (configured as the first, `firstConfig`, but for
    // its name, port and link), and runs `linked` once the two are synchronised, with an empty
    // text, or with what went wrong.
    void start(const QString& firstConfig, std::function<void(const QString& error)> linked);
    quint16 port() const { return port_; }

    // Every connection between the two closed at once; none taken until heal().
    void cut();
    // The proxy restored and the second server asked to connect; `synced` runs with the
    // milliseconds from then until both servers said they are synchronised (-1: not within
    // 30 s).
    void heal(std::function<void(qint64 ms)> synced);
    void stop();

private:
    int synchronisations() const;
    void operatorRead();

    Clock& clock_;
    QString folder_;
    quint16 firstPort_;
    quint16 port_ = 0;
    LinkProxy proxy_;
    std::unique_ptr<QProcess> server_;
    QTcpSocket operator_; // on the second server, as operator
    IrcLineReader operatorReader_;
};

} // namespace load
} // namespace jackwell

#include "load_server_link.h"

#include "clock/clock.h"
#include "irc/irc_message.h"
#include "irc/irc_numerics.h"
#include "load_process.h"
#include "load_stack.h"
#include "support/test_server.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>

#include <utility>

namespace jackwell::load {

namespace {

const QByteArray kOperatorNick = "linkop";
const QByteArray kFirstPassword = "linkpw1";  // the first server's, given by it
const QByteArray kSecondPassword = "linkpw2"; // the second's

} // namespace

ServerLink::ServerLink(Clock& clock, QString folder, quint16 firstPort)
    : clock_(clock)
    , folder_(std::move(folder))
    , firstPort_(firstPort)
    , port_(testing::TestServer::freeLoopbackPort())
    , proxy_(firstPort) {
    connect(&operator_, &QTcpSocket::connected, this, [this] {
        operator_.write("NICK " + kOperatorNick + "\r\nUSER " + kOperatorNick +
                        " 0 * :link operator\r\n");
    });
    connect(&operator_, &QTcpSocket::readyRead, this, [this] { operatorRead(); });
}

ServerLink::~ServerLink() {
    stop();
}

bool ServerLink::writeFirstSide(const QString& includeDir, QString* error) {
    const QByteArray block = "[Server]\nName = " + kSecondName +
                             "\nHost = 127.0.0.1\nMyPassword = " + kFirstPassword +
                             "\nPeerPassword = " + kSecondPassword + "\n";
    return writeFile(QDir(includeDir).filePath(QStringLiteral("link.conf")), block, error);
}

int ServerLink::synchronisations() const {
    const QDir dir(folder_);
    return int(std::min(readFile(dir.filePath(QStringLiteral("ngircd.log")))
                            .count("Synchronization with \"" + kSecondName + "\" done"),
                        readFile(dir.filePath(QStringLiteral("ngircd2.log")))
                            .count("Synchronization with \"" + kFirstName + "\" done")));
}

void ServerLink::start(const QString& firstConfig, std::function<void(const QString&)> linked) {
    if (!proxy_.listen()) {
        linked(QStringLiteral("the link's proxy could not listen"));
        return;
    }
    const QDir dir(folder_);
    dir.mkpath(QStringLiteral("conf2.d"));
    // The first server's configuration, but for what makes this one another server.
    QList<QByteArray> lines = readFile(firstConfig).split('\n');
    bool named = false; // the server's own name comes first; the operator's is left as it is
    for (QByteArray& line : lines) {
        if (line.startsWith("Name = ") && !std::exchange(named, true))
            line = "Name = " + kSecondName;
        else if (line.startsWith("Ports = "))
            line = "Ports = " + QByteArray::number(port_);
        else if (line.startsWith("PidFile = "))
            line = "PidFile = " + QFile::encodeName(dir.filePath("run/ngircd2.pid"));
        else if (line.startsWith("IncludeDir = "))
            line = "IncludeDir = " + QFile::encodeName(dir.filePath("conf2.d"));
    }
    lines.insert(1, "ConnectRetry = 2");
    const QByteArray link = "[Server]\nName = " + kFirstName +
                            "\nHost = 127.0.0.1\nPort = " + QByteArray::number(proxy_.port()) +
                            "\nMyPassword = " + kSecondPassword +
                            "\nPeerPassword = " + kFirstPassword + "\n";
    const QString config = dir.filePath(QStringLiteral("ngircd2.conf"));
    QString error;
    if (!writeFile(config, lines.join('\n') + '\n' + link, &error)) {
        linked(error);
        return;
    }
    server_ = std::make_unique<QProcess>();
    server_->setProcessChannelMode(QProcess::MergedChannels);
    server_->setStandardOutputFile(dir.filePath(QStringLiteral("ngircd2.log")));
    server_->setChildProcessModifier(dieWithParent);
    server_->start(QStringLiteral("/usr/sbin/ngircd"),
                   {QStringLiteral("-n"), QStringLiteral("-f"), config});
    const QByteArray listening = "Now listening on [127.0.0.1]:" + QByteArray::number(port_) + " ";
    const QString log = dir.filePath(QStringLiteral("ngircd2.log"));
    pollUntil(
        clock_, this,
        [this, log, listening] {
            return server_->state() == QProcess::NotRunning || readFile(log).contains(listening);
        },
        30000,
        [this, log, linked](bool) {
            if (server_->state() == QProcess::NotRunning) { // (it may still be Starting)
                linked(QStringLiteral("the second ngircd did not start: ") +
                       QString::fromLocal8Bit(readFile(log).right(2000)));
                return;
            }
            operator_.connectToHost(QHostAddress::LocalHost, port_);
            pollUntil(
                clock_, this, [this] { return synchronisations() > 0; }, 30000,
                [linked](bool synced) {
                    linked(synced ? QString() : QStringLiteral("the two servers did not link"));
                });
        });
}

void ServerLink::operatorRead() {
    for (const QByteArray& line : operatorReader_.feed(operator_.readAll())) {
        const auto message = parseIrcLine(line);
        if (!message)
            continue;
        if (message->command == "PING")
            operator_.write("PONG :" + message->last() + "\r\n");
        else if (message->command == irc_numeric::welcome)
            operator_.write(LoadStack::exemptionLines(kOperatorNick).front());
    }
}

void ServerLink::cut() {
    proxy_.cut();
}

void ServerLink::heal(std::function<void(qint64)> synced) {
    const int before = synchronisations();
    const qint64 from = clock_.monotonicMs();
    proxy_.restore();
    operator_.write("CONNECT " + kFirstName + "\r\n");
    pollUntil(
        clock_, this, [this, before] { return synchronisations() > before; }, 30000,
        [this, from, synced](bool done) { synced(done ? clock_.monotonicMs() - from : -1); });
}

void ServerLink::stop() {
    operator_.abort();
    if (!server_)
        return;
    server_->terminate();
    if (!server_->waitForFinished(3000))
        server_->kill();
    server_->waitForFinished(2000);
    server_.reset();
}

} // namespace jackwell::load

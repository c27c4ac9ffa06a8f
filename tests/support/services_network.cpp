#include "support/services_network.h"

#include "support/irc_test_peer.h"

#include <QFileInfo>
#include <QTcpSocket>

namespace jackwell::testing {

namespace {

const QString kServerBinary = QStringLiteral("/usr/sbin/inspircd");
const QString kServicesBinary = QStringLiteral("/usr/sbin/anope");
const QByteArray kLinkPassword = "linkpass-for-tests";
constexpr int kServerReadyMs = 10000;
constexpr int kServicesReadyMs = 30000;
constexpr int kProbeGapMs = 200;

} // namespace

ServicesNetwork::ServicesNetwork()
    : ServicesNetwork(Offers{}) {}

ServicesNetwork::ServicesNetwork(Offers offers)
    : TestServer({"inspircd.out", "inspircd.log", "anope.out"})
    , offers_(offers) {}

bool ServicesNetwork::ensureInstalled(QString* error) {
    return installWhenMissing(
        [] {
            return QFileInfo(kServerBinary).isExecutable() &&
                   QFileInfo(kServicesBinary).isExecutable();
        },
        "InspIRCd or Anope", error);
}

// Both run as nobody under root (InspIRCd refuses it; Anope pauses). The server is ready once it
// takes a connection; the services once NickServ answers (until linked, there is no such nick).
bool ServicesNetwork::start(QString* error) {
    if (!ensureInstalled(error) || !folderReady(error, true))
        return false;
    port_ = freeLoopbackPort();
    linkPort_ = freeLoopbackPort();
    const QString dir = dir_.path();
    const auto accepts = [this] {
        QTcpSocket probe;
        probe.connectToHost(kHost, port_);
        return probe.waitForConnected(kProbeGapMs);
    };
    IrcTestPeer probe("fixtureprobe");
    const auto answers = [&] {
        probe.privmsg("NickServ", "HELP");
        return probe.waitForMessage({}, "NickServ", {}, kProbeGapMs);
    };
    if (writeConfig(error) &&
        launchReady(process_,
                    {.program = kServerBinary,
                     .arguments = {"--config=" + path("inspircd.conf"), "--nofork"},
                     .log = "inspircd.out",
                     .asNobody = true},
                    accepts, kServerReadyMs,
                    QStringLiteral("InspIRCd does not accept connections on port %1").arg(port_),
                    error)) {
        if (!probe.connectTo(port_, kServerReadyMs))
            *error = QStringLiteral("the readiness probe could not register: ") + output();
        else if (launchReady(services_,
                             {.program = kServicesBinary,
                              .arguments = {"--nofork", "--confdir=" + dir,
                                            "--config=services.conf", "--dbdir=" + dir,
                                            "--logdir=" + dir, "--modulesdir=/usr/lib/anope",
                                            "--localedir=/usr/share/anope/locale"},
                              .log = "anope.out",
                              .asNobody = true},
                             answers, kServicesReadyMs, "the services did not answer", error))
            return true;
    }
    stop();
    return false;
}

bool ServicesNetwork::writeConfig(QString* error) {
    const QString dir = dir_.path();
    const QString port = QString::number(port_);
    const QString link = QString::number(linkPort_);
    QString server, services;
    if (!readTemplate("inspircd.conf", &server, error) ||
        !readTemplate("anope.conf", &services, error))
        return false;
    if (!offers_.accountTags)
        server.remove("<module name=\"ircv3_accounttag\">\n");
    if (!offers_.extendedJoin)
        server.replace("extendedjoin=\"yes\"", "extendedjoin=\"no\"");
    auto fill = [&](QString text) {
        return text.replace("@DIR@", dir)
            .replace("@PORT@", port)
            .replace("@LINKPORT@", link)
            .replace("@LINKPASS@", QString::fromLatin1(kLinkPassword))
            .replace("@OPERPASS@", QString::fromLatin1(kOperPassword))
            .replace("@OPER@", QString::fromLatin1(kOperName));
    };
    return writeFile("inspircd.conf", fill(server).toUtf8(), error, true) &&
           writeFile("services.conf", fill(services).toUtf8(), error, true) &&
           writeFile("motd.txt", "test network\n", error, true) &&
           writeFile("services.motd", "test services\n", error, true);
}

bool ServicesNetwork::registerAccount(const QByteArray& account, const QByteArray& password,
                                      QString* error) {
    IrcTestPeer client(account);
    bool registered = client.connectTo(port_, kServerReadyMs);
    client.privmsg("NickServ", "REGISTER " + password + " " + account + "@example.com");
    registered = registered && client.waitFor(
                                   [](const IrcMessage& m) {
                                       return nickOf(m.prefix) == "NickServ" &&
                                              m.last().contains("registered");
                                   },
                                   kServerReadyMs);
    client.sendRaw("QUIT :done\r\n");
    if (!registered)
        *error = QStringLiteral("NickServ did not register %1").arg(QString::fromLatin1(account));
    return registered;
}

void ServicesNetwork::stop() {
    // The services first: they leave the network in good order, then the server.
    end(services_);
    end(process_);
}

} // namespace jackwell::testing

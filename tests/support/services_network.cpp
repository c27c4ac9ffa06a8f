#include "support/services_network.h"

#include "support/free_loopback_port.h"
#include "support/install_when_missing.h"
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <grp.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace jackwell::testing {

namespace {

const QString kServerBinary = QStringLiteral("/usr/sbin/inspircd");
const QString kServicesBinary = QStringLiteral("/usr/sbin/anope");
const QByteArray kLinkPassword = "linkpass-for-tests";
constexpr uid_t kNobody = 65534;
constexpr int kServerReadyMs = 10000;
constexpr int kServicesReadyMs = 30000;
constexpr int kProbeGapMs = 200;

// A plain blocking IRC client for the fixture's own errands: it registers and reads lines
// without an event loop.
class ErrandClient {
public:
    bool connectAs(quint16 port, const QByteArray& nick, int timeoutMs) {
        socket_.connectToHost(ServicesNetwork::kHost, port);
        if (!socket_.waitForConnected(timeoutMs))
            return false;
        send("NICK " + nick + "\r\nUSER " + nick + " 0 * :fixture\r\n");
        return waitForLine([](const QByteArray& line) { return line.contains(" 001 "); },
                           timeoutMs);
    }
    void send(const QByteArray& bytes) {
        socket_.write(bytes);
        socket_.flush();
    }
    // Reads until a line satisfies `match` or `timeoutMs` passed; answers PING meanwhile.
    bool waitForLine(const std::function<bool(const QByteArray&)>& match, int timeoutMs) {
        const QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired() && socket_.state() == QAbstractSocket::ConnectedState) {
            while (socket_.canReadLine()) {
                const QByteArray line = socket_.readLine().trimmed();
                if (line.startsWith("PING "))
                    send("PONG " + line.mid(5) + "\r\n");
                if (match(line))
                    return true;
            }
            socket_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        }
        return false;
    }
    void quit() {
        send("QUIT :done\r\n");
        socket_.waitForDisconnected(1000);
    }

private:
    QTcpSocket socket_;
};

} // namespace

ServicesNetwork::ServicesNetwork() = default;

ServicesNetwork::~ServicesNetwork() {
    stop();
}

bool ServicesNetwork::ensureInstalled(QString* error) {
    return installWhenMissing(
        [] {
            return QFileInfo(kServerBinary).isExecutable() &&
                   QFileInfo(kServicesBinary).isExecutable();
        },
        QStringLiteral("InspIRCd or Anope"), error);
}

bool ServicesNetwork::start(QString* error) {
    if (!ensureInstalled(error))
        return false;
    if (!dir_.isValid()) {
        *error = QStringLiteral("no temporary folder: ") + dir_.errorString();
        return false;
    }
    port_ = freeLoopbackPort();
    linkPort_ = freeLoopbackPort();
    const QString dir = dir_.path();
    if (!writeConfig(error) ||
        !launch(server_, kServerBinary,
                {"--config=" + dir + "/inspircd.conf", QStringLiteral("--nofork")},
                QStringLiteral("inspircd.out"), error) ||
        !waitForServer(error) ||
        !launch(services_, kServicesBinary,
                {QStringLiteral("--nofork"), "--confdir=" + dir,
                 QStringLiteral("--config=services.conf"), "--dbdir=" + dir, "--logdir=" + dir,
                 QStringLiteral("--modulesdir=/usr/lib/anope"),
                 QStringLiteral("--localedir=/usr/share/anope/locale")},
                QStringLiteral("anope.out"), error) ||
        !waitForServices(error)) {
        stop();
        return false;
    }
    return true;
}

bool ServicesNetwork::writeConfig(QString* error) {
    const QString dir = dir_.path();
    const QString port = QString::number(port_);
    const QString link = QString::number(linkPort_);
    const QString server = QStringLiteral(R"(<config format="xml">
<path configdir="@DIR@" datadir="@DIR@" logdir="@DIR@" runtimedir="@DIR@">
<pid file="@DIR@/inspircd.pid">
<server name="irc.test.local" description="Test IRC server" network="TestNet">
<admin name="Test" nick="test" email="test@localhost">
<options casemapping="ascii">
<dns server="127.0.0.1" timeout="1">
<files motd="@DIR@/motd.txt">
<log method="file" type="* -USERINPUT -USEROUTPUT" level="default" target="@DIR@/inspircd.log">
<bind address="127.0.0.1" port="@PORT@" type="clients">
<bind address="127.0.0.1" port="@LINKPORT@" type="servers">
<connect name="main" allow="127.0.0.1" port="@PORT@" resolvehostnames="no" useident="no"
         localmax="1000" globalmax="1000" limit="5000" maxchans="50" timeout="20" pingfreq="2m"
         hardsendq="4M" softsendq="1M" recvq="1M" threshold="100000" commandrate="10000000" fakelag="no">
<module name="cap">
<module name="ircv3">
<ircv3 accountnotify="yes" awaynotify="yes" extendedjoin="yes">
<module name="ircv3_accounttag">
<module name="ircv3_capnotify">
<module name="ircv3_servertime">
<module name="ircv3_msgid">
<module name="ircv3_ctctags">
<module name="monitor">
<module name="sasl">
<sasl target="services.test.local" requiressl="no">
<module name="services_account">
<module name="hidechans">
<module name="spanningtree">
<link name="services.test.local" ipaddr="127.0.0.1" port="@LINKPORT@" allowmask="127.0.0.0/8"
      sendpass="@LINKPASS@" recvpass="@LINKPASS@" hidden="no">
<uline server="services.test.local" silent="yes">
)");
    const QString services =
        QStringLiteral(R"(define { name = "services.host"; value = "services.test.local" }
uplink { host = "127.0.0.1"; ipv6 = no; ssl = no; port = @LINKPORT@; password = "@LINKPASS@" }
serverinfo { name = "services.test.local"; description = "Test services"; pid = "@DIR@/anope.pid"; motd = "@DIR@/services.motd" }
module { name = "inspircd3" }
networkinfo { networkname = "TestNet"; nicklen = 30; userlen = 10; hostlen = 64; chanlen = 32 }
options { casemap = "ascii"; seed = 1234567; badpasslimit = 0; retrywait = 1s; readtimeout = 5s; timeoutcheck = 3s; warningtimeout = 4h }
mail { usemail = no }
module { name = "db_flatfile"; database = "anope.db"; keepbackups = 0; fork = no }
module { name = "enc_sha256" }
service { nick = "NickServ"; user = "services"; host = "services.host"; gecos = "Nickname Services" }
module { name = "nickserv"; client = "NickServ"; forceemail = no; regdelay = 0s; expire = 0
         defaults = "ns_secure ns_private hide_email hide_mask"; guestnickprefix = "Guest" }
module { name = "help" }
command { service = "NickServ"; name = "HELP"; command = "generic/help" }
module { name = "ns_register"; registration = "none" }
command { service = "NickServ"; name = "REGISTER"; command = "nickserv/register" }
module { name = "ns_identify" }
command { service = "NickServ"; name = "IDENTIFY"; command = "nickserv/identify" }
module { name = "ns_set" }
command { service = "NickServ"; name = "SET"; command = "nickserv/set" }
command { service = "NickServ"; name = "SET PASSWORD"; command = "nickserv/set/password" }
module { name = "m_sasl" }
)");
    auto fill = [&](QString text) {
        return text.replace("@DIR@", dir)
            .replace("@PORT@", port)
            .replace("@LINKPORT@", link)
            .replace("@LINKPASS@", QString::fromLatin1(kLinkPassword));
    };
    const std::pair<const char*, QString> files[] = {
        {"inspircd.conf", fill(server)},
        {"services.conf", fill(services)},
        {"motd.txt", QStringLiteral("test network\n")},
        {"services.motd", QStringLiteral("test services\n")},
    };
    for (const auto& [name, text] : files) {
        QFile file(QDir(dir).filePath(QString::fromLatin1(name)));
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0) {
            *error = QStringLiteral("cannot write %1: %2").arg(name, file.errorString());
            return false;
        }
    }
    // Run unprivileged, the servers must own their folder.
    if (::geteuid() == 0) {
        for (const QString& name : QDir(dir).entryList(QDir::Files))
            if (::chown(QFile::encodeName(QDir(dir).filePath(name)).constData(), kNobody,
                        kNobody) != 0) {
                *error = QStringLiteral("cannot hand %1 to nobody").arg(name);
                return false;
            }
        if (::chown(QFile::encodeName(dir).constData(), kNobody, kNobody) != 0) {
            *error = QStringLiteral("cannot hand the test folder to nobody");
            return false;
        }
    }
    return true;
}

// Starts one server process, as nobody when the tests run as root (InspIRCd refuses root, and
// Anope pauses for it); it dies with the test program.
bool ServicesNetwork::launch(std::unique_ptr<QProcess>& process, const QString& program,
                             const QStringList& arguments, const QString& logName, QString* error) {
    process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardOutputFile(QDir(dir_.path()).filePath(logName), QIODevice::Truncate);
    const bool dropRoot = ::geteuid() == 0;
    process->setChildProcessModifier([dropRoot] {
        if (dropRoot) {
            ::setgroups(0, nullptr);
            if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(125);
        }
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    process->start(program, arguments);
    if (!process->waitForStarted(5000)) {
        *error = QStringLiteral("%1 did not start: %2").arg(program, process->errorString());
        return false;
    }
    return true;
}

bool ServicesNetwork::waitForServer(QString* error) {
    const QDeadlineTimer deadline(kServerReadyMs);
    while (!deadline.hasExpired()) {
        if (server_->state() != QProcess::Running)
            break;
        QTcpSocket probe;
        probe.connectToHost(kHost, port_);
        if (probe.waitForConnected(kProbeGapMs))
            return true;
        server_->waitForFinished(kProbeGapMs / 4);
    }
    *error = QStringLiteral("InspIRCd does not accept connections on port %1: %2")
                 .arg(port_)
                 .arg(output());
    return false;
}

// Ready once NickServ answers: until the services have linked, the server says there is no
// such nick.
bool ServicesNetwork::waitForServices(QString* error) {
    ErrandClient probe;
    if (!probe.connectAs(port_, "fixtureprobe", kServerReadyMs)) {
        *error = QStringLiteral("the readiness probe could not register: ") + output();
        return false;
    }
    const QDeadlineTimer deadline(kServicesReadyMs);
    while (!deadline.hasExpired() && services_->state() == QProcess::Running) {
        probe.send("PRIVMSG NickServ :HELP\r\n");
        if (probe.waitForLine([](const QByteArray& line) { return line.startsWith(":NickServ!"); },
                              kProbeGapMs)) {
            probe.quit();
            return true;
        }
    }
    *error = QStringLiteral("the services did not answer: ") + output();
    return false;
}

bool ServicesNetwork::registerAccount(const QByteArray& account, const QByteArray& password,
                                      QString* error) {
    ErrandClient client;
    if (!client.connectAs(port_, account, kServerReadyMs)) {
        *error =
            QStringLiteral("cannot connect as %1 to register").arg(QString::fromLatin1(account));
        return false;
    }
    client.send("PRIVMSG NickServ :REGISTER " + password + " " + account + "@example.com\r\n");
    const bool registered = client.waitForLine(
        [](const QByteArray& line) {
            return line.startsWith(":NickServ!") && line.contains("registered");
        },
        kServerReadyMs);
    client.quit();
    if (!registered)
        *error = QStringLiteral("NickServ did not register %1").arg(QString::fromLatin1(account));
    return registered;
}

void ServicesNetwork::stop() {
    // The services first: they leave the network in good order, then the server.
    for (std::unique_ptr<QProcess>* process : {&services_, &server_}) {
        if (!*process)
            continue;
        if ((*process)->state() != QProcess::NotRunning) {
            (*process)->terminate();
            if (!(*process)->waitForFinished(5000)) {
                (*process)->kill();
                (*process)->waitForFinished(2000);
            }
        }
        process->reset();
    }
}

QByteArray ServicesNetwork::fileText(const QString& name) const {
    QFile file(QDir(dir_.path()).filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll().right(3000) : QByteArray();
}

QString ServicesNetwork::output() const {
    return QString::fromLocal8Bit("--- inspircd:\n" + fileText("inspircd.out") +
                                  fileText("inspircd.log") + "\n--- anope:\n" +
                                  fileText("anope.out"));
}

} // namespace jackwell::testing

#include "support/ngircd_server.h"

#include "support/free_loopback_port.h"
#include "support/install_when_missing.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>

#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jackwell::testing {

namespace {

const QString kBinary = QStringLiteral("/usr/sbin/ngircd");
constexpr int kStartTries = 5;
constexpr int kReadyProbes = 200;
constexpr int kProbeGapMs = 25;

} // namespace

NgircdServer::NgircdServer()
    : NgircdServer(Options{}) {}

NgircdServer::NgircdServer(Options options)
    : options_(options) {}

NgircdServer::~NgircdServer() {
    stop();
}

bool NgircdServer::ensureInstalled(QString* error) {
    return installWhenMissing([] { return QFileInfo(kBinary).isExecutable(); },
                              QStringLiteral("ngircd"), error);
}

bool NgircdServer::start(QString* error) {
    if (isRunning())
        return true;
    if (!ensureInstalled(error))
        return false;
    if (!dir_.isValid()) {
        *error = QStringLiteral("no temporary folder: ") + dir_.errorString();
        return false;
    }
    const bool pickPort = port_ == 0;
    for (int attempt = 0; attempt < (pickPort ? kStartTries : 1); ++attempt) {
        if (pickPort) {
            port_ = freeLoopbackPort();
            tlsPort_ = options_.tls ? freeLoopbackPort() : 0;
        }
        if (writeConfig(error) && launch(error))
            return true;
    }
    return false;
}

QString NgircdServer::certificatePath() const {
    return QDir(dir_.path()).filePath(QStringLiteral("cert.pem"));
}

// A key and a certificate for 127.0.0.1, made by the openssl tool.
bool NgircdServer::makeCertificate(QString* error) {
    const QDir dir(dir_.path());
    if (QFileInfo::exists(certificatePath()))
        return true;
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                   "-days", "2", "-keyout", dir.filePath("key.pem"), "-out", certificatePath()});
    if (!openssl.waitForFinished(10000) || openssl.exitCode() != 0) {
        *error = QStringLiteral("cannot make a test certificate: ") +
                 QString::fromLocal8Bit(openssl.readAll());
        return false;
    }
    // ngircd reads the key after dropping to nobody.
    QFile::setPermissions(dir.filePath("key.pem"), QFile::ReadOwner | QFile::ReadOther);
    return true;
}

bool NgircdServer::writeConfig(QString* error) {
    const QDir dir(dir_.path());
    if (options_.tls && !makeCertificate(error))
        return false;
    dir.mkpath(QStringLiteral("run"));
    dir.mkpath(QStringLiteral("conf.d"));
    // Run as root, ngircd drops to nobody, who must still reach the pid file.
    QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                           QFile::ExeGroup);
    ::chmod(QFile::encodeName(dir.filePath(QStringLiteral("run"))).constData(), 01777);
    QStringList lines = {
        "[Global]",
        "Name = " + QString::fromLatin1(kServerName),
        "Info = loopback test server",
        "AdminInfo1 = test",
        "AdminInfo2 = test",
        "AdminEMail = test@localhost",
        "Listen = " + kHost,
        "Ports = " + QString::number(port_),
        "MotdPhrase = \"test server\"",
        "PidFile = " + dir.filePath("run/ngircd.pid"),
    };
    if (!options_.serverPassword.isEmpty())
        lines += "Password = " + QString::fromLatin1(options_.serverPassword);
    if (::geteuid() == 0)
        lines += {"ServerUID = nobody", "ServerGID = nogroup"};
    lines += {
        "[Limits]",
        "MaxConnections = 0",
        "MaxConnectionsIP = 0",
        "MaxNickLength = 30",
        "PingTimeout = " + QString::number(options_.pingTimeoutSeconds),
        "PongTimeout = " + QString::number(options_.pongTimeoutSeconds),
    };
    if (!options_.floodThrottling)
        lines += "MaxPenaltyTime = 0";
    lines += {"[Options]", "PAM = no", "DNS = no", "Ident = no",
              "IncludeDir = " + dir.filePath("conf.d")};
    if (!options_.operName.isEmpty())
        lines += {"[Operator]", "Name = " + QString::fromLatin1(options_.operName),
                  "Password = " + QString::fromLatin1(options_.operPassword)};
    if (options_.tls)
        lines += {"[SSL]", "KeyFile = " + dir.filePath("key.pem"),
                  "CertFile = " + certificatePath(), "Ports = " + QString::number(tlsPort_)};
    const QByteArray text = QFile::encodeName(lines.join(u'\n') + u'\n');
    QFile file(dir.filePath(QStringLiteral("ngircd.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        *error = QStringLiteral("cannot write the server's configuration: ") + file.errorString();
        return false;
    }
    return true;
}

bool NgircdServer::launch(QString* error) {
    const QDir dir(dir_.path());
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setStandardOutputFile(dir.filePath(QStringLiteral("ngircd.log")),
                                    QIODevice::Truncate);
    // Should the test program die, the server goes with it.
    process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_->start(kBinary, {QStringLiteral("-n"), QStringLiteral("-f"),
                              dir.filePath(QStringLiteral("ngircd.conf"))});
    if (!process_->waitForStarted(5000)) {
        *error = QStringLiteral("ngircd did not start: ") + process_->errorString();
        process_.reset();
        return false;
    }
    // Ready once it says it listens on our ports; a port another program took
    // makes it end at once instead.
    auto listensOn = [this](quint16 port) {
        return port == 0 ||
               logText().contains(
                   ("Now listening on [" + kHost + "]:" + QString::number(port) + " ").toLatin1());
    };
    for (int probe = 0; probe < kReadyProbes; ++probe) {
        // Doubles as the pause between looks, and notices a server that ended.
        if (process_->waitForFinished(kProbeGapMs))
            break;
        if (listensOn(port_) && listensOn(tlsPort_))
            return true;
    }
    *error = QStringLiteral("ngircd does not accept connections on port %1: %2")
                 .arg(port_)
                 .arg(output());
    stop();
    return false;
}

void NgircdServer::stop() {
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(2000);
        }
    }
    process_.reset();
}

bool NgircdServer::isRunning() const {
    return process_ && process_->state() == QProcess::Running;
}

QByteArray NgircdServer::logText() const {
    QFile log(QDir(dir_.path()).filePath(QStringLiteral("ngircd.log")));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

QString NgircdServer::output() const {
    // The start (configuration problems) and the end (the latest events).
    const QByteArray text = logText();
    if (text.size() <= 4000)
        return QString::fromLocal8Bit(text);
    return QString::fromLocal8Bit(text.left(2000) + "\n...\n" + text.right(2000));
}

} // namespace jackwell::testing

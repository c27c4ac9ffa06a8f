#include "support/ngircd_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace jackwell::testing {

namespace {

const QString kBinary = QStringLiteral("/usr/sbin/ngircd");
constexpr int kStartTries = 5;
constexpr int kReadyMs = 5000;

} // namespace

NgircdServer::NgircdServer(Options options)
    : TestServer({"ngircd.log"})
    , options_(std::move(options)) {}

bool NgircdServer::ensureInstalled(QString* error) {
    return installWhenMissing([] { return QFileInfo(kBinary).isExecutable(); }, "ngircd", error);
}

bool NgircdServer::start(QString* error) {
    if (isRunning())
        return true;
    if (!ensureInstalled(error) || !folderReady(error))
        return false;
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

// A key and a certificate for 127.0.0.1, made by the openssl tool.
bool NgircdServer::makeCertificate(QString* error) {
    if (QFileInfo::exists(certificatePath()))
        return true;
    if (!runToEnd({.program = "openssl",
                   .arguments = {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                 "ec_paramgen_curve:prime256v1", "-nodes", "-subj", "/CN=127.0.0.1",
                                 "-addext", "subjectAltName=IP:127.0.0.1", "-days", "2", "-keyout",
                                 path("key.pem"), "-out", certificatePath()},
                   .log = "openssl.log"},
                  10000, error))
        return false;
    // ngircd reads the key as nobody.
    QFile::setPermissions(path("key.pem"), QFile::ReadOwner | QFile::ReadOther);
    return true;
}

// The [Global] lines that depend on the options.
QString NgircdServer::globalExtras() const {
    QString extras;
    if (!options_.serverPassword.isEmpty())
        extras += "Password = " + QString::fromLatin1(options_.serverPassword) + u'\n';
    return extras;
}

bool NgircdServer::writeConfig(QString* error) {
    if (options_.tls && !makeCertificate(error))
        return false;
    const QDir dir(dir_.path());
    dir.mkpath("run");
    dir.mkpath("conf.d");
    // Run as nobody when the tests are root, ngircd must still reach the pid file.
    QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                           QFile::ExeGroup);
    ::chmod(QFile::encodeName(dir.filePath("run")).constData(), 01777);
    QString text;
    if (!readTemplate("ngircd.conf", &text, error))
        return false;
    text = text.arg(port_)
               .arg(dir_.path(), globalExtras())
               .arg(options_.pingTimeoutSeconds)
               .arg(options_.pongTimeoutSeconds)
               .arg(options_.floodThrottling ? -1 : 0);
    if (!options_.operName.isEmpty())
        text += QStringLiteral("[Operator]\nName = %1\nPassword = %2\n")
                    .arg(QString::fromLatin1(options_.operName),
                         QString::fromLatin1(options_.operPassword));
    if (options_.tls)
        text += QStringLiteral("[SSL]\nKeyFile = %1\nCertFile = %2\nPorts = %3\n")
                    .arg(path("key.pem"), certificatePath())
                    .arg(tlsPort_);
    return writeFile("ngircd.conf", QFile::encodeName(text), error);
}

// Ready once it says it listens on our ports; a port another program took ends it at once.
bool NgircdServer::launch(QString* error) {
    auto listensOn = [this](quint16 port) {
        return port == 0 ||
               fileText("ngircd.log")
                   .contains(("Now listening on [" + kHost + "]:" + QString::number(port) + " ")
                                 .toLatin1());
    };
    return launchReady(
        process_,
        {.program = kBinary,
         .arguments = {"-n", "-f", path("ngircd.conf")},
         .log = "ngircd.log",
         // ngircd dropping to nobody itself clears its death signal.
         .asNobody = true},
        [&] { return listensOn(port_) && listensOn(tlsPort_); }, kReadyMs,
        QStringLiteral("ngircd does not accept connections on port %1").arg(port_), error);
}

} // namespace jackwell::testing

#include "irc/irc_tls.h"

#include "irc/irc_config.h"
#include "platform/key_value_file.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

namespace jackwell {

namespace {

constexpr qint64 kMaxPemBytes = 1024 * 1024;

// A FIFO or a device named here is refused without being read, so it cannot hold the program up.
std::optional<QByteArray> readPem(const QString& path, QString* error) {
    return KeyValueFile::readText(path, QStringLiteral("a certificate or key file"), error,
                                  kMaxPemBytes);
}

} // namespace

bool prepareTls(QSslSocket& socket, const IrcConfig& config, QString* error) {
    socket.setPeerVerifyMode(QSslSocket::VerifyPeer);
    QSslConfiguration tls = socket.sslConfiguration();
    if (!config.tlsCaPath.isEmpty()) {
        const std::optional<QByteArray> pem = readPem(config.tlsCaPath, error);
        if (!pem)
            return false;
        const QList<QSslCertificate> authorities = QSslCertificate::fromData(*pem, QSsl::Pem);
        if (authorities.isEmpty()) {
            *error = QStringLiteral("%1 holds no certificate").arg(config.tlsCaPath);
            return false;
        }
        tls.addCaCertificates(authorities);
    }
    if (!config.tlsCertPath.isEmpty()) {
        const std::optional<QByteArray> certificate = readPem(config.tlsCertPath, error);
        if (!certificate)
            return false;
        const QList<QSslCertificate> chain = QSslCertificate::fromData(*certificate, QSsl::Pem);
        if (chain.isEmpty()) {
            *error = QStringLiteral("%1 holds no certificate").arg(config.tlsCertPath);
            return false;
        }
        const std::optional<QByteArray> keyText = readPem(config.tlsKeyPath, error);
        if (!keyText)
            return false;
        QSslKey key;
        for (const QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa, QSsl::Dsa}) {
            key = QSslKey(*keyText, algorithm, QSsl::Pem);
            if (!key.isNull())
                break;
        }
        if (key.isNull()) {
            *error = QStringLiteral("%1 holds no private key this program can use (PEM, not "
                                    "encrypted)")
                         .arg(config.tlsKeyPath);
            return false;
        }
        tls.setLocalCertificateChain(chain);
        tls.setPrivateKey(key);
    }
    socket.setSslConfiguration(tls);
    return true;
}

} // namespace jackwell

#include "irc/irc_tls.h"

#include "irc/irc_config.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

namespace jackwell {

namespace {

constexpr qint64 kMaxPemBytes = 1024 * 1024;

std::optional<QByteArray> readPem(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QByteArray text = file.read(kMaxPemBytes + 1);
    if (text.size() > kMaxPemBytes) { // read no further: no certificate file is nearly so large
        *error = QStringLiteral("%1: larger than %2 bytes").arg(path).arg(kMaxPemBytes);
        return std::nullopt;
    }
    return text;
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

#include "support/prometheus_server.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QUrl>

namespace jackwell::testing {

namespace {

const QString kProgram = QStringLiteral("/usr/bin/prometheus");

} // namespace

bool PrometheusServer::ensureInstalled(QString* error) {
    return installWhenMissing([] { return QFileInfo(kProgram).isExecutable(); }, "prometheus",
                              error);
}

bool PrometheusServer::start(quint16 target, QString* error) {
    port_ = freeLoopbackPort();
    const QByteArray config = "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                              "scrape_configs:\n  - job_name: keeper\n    static_configs:\n"
                              "      - targets: ['127.0.0.1:" +
                              QByteArray::number(target) + "']\n";
    if (!ensureInstalled(error) || !folderReady(error) ||
        !writeFile("prometheus.yml", config, error))
        return false;
    return launchReady(
        process_,
        {.program = kProgram,
         .arguments = {"--config.file=prometheus.yml", "--storage.tsdb.path=data",
                       QStringLiteral("--web.listen-address=%1:%2").arg(kHost).arg(port_)},
         .log = "prometheus.log"},
        [this] {
            return fileText("prometheus.log").contains("Server is ready to receive web requests");
        },
        30000, "prometheus did not start", error);
}

std::optional<double> PrometheusServer::query(const QString& query) const {
    QTcpSocket socket;
    socket.connectToHost(kHost, port_);
    if (!socket.waitForConnected(2000))
        return std::nullopt;
    socket.write("GET /api/v1/query?query=" + QUrl::toPercentEncoding(query) + " HTTP/1.0\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(2000))
        reply += socket.readAll();
    reply += socket.readAll();
    const QJsonObject body =
        QJsonDocument::fromJson(reply.mid(reply.indexOf("\r\n\r\n") + 4)).object();
    const QJsonArray result = body.value("data").toObject().value("result").toArray();
    if (result.size() != 1)
        return std::nullopt;
    return result[0].toObject().value("value").toArray()[1].toString().toDouble();
}

} // namespace jackwell::testing

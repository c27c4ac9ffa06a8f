#include "load_chart.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <utility>

namespace jackwell::load {

namespace {

const QString kHeader = QStringLiteral(
    "offered,booked,games,p50_ms,p99_ms,max_ms,resent,answered,robots_ms,ircd_ms,database_ms,"
    "load_ms");

struct Table {
    QString label;
    std::vector<CapacityStep> steps;
};

std::vector<Table> readTables(const QString& folder) {
    std::vector<Table> tables;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral("capacity-*.csv")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        Table table;
        QTextStream in(&file);
        table.label = in.readLine().mid(2);
        if (in.readLine() != kHeader)
            continue; // a table of another kind
        while (!in.atEnd()) {
            const QStringList cells = in.readLine().split(u',');
            if (cells.size() < 8)
                continue;
            CapacityStep step;
            step.offered = cells[0].toInt();
            step.booked = cells[1].toDouble();
            step.games = cells[2].toInt();
            step.p50Ms = cells[3].toLongLong();
            step.p99Ms = cells[4].toLongLong();
            step.maxMs = cells[5].toLongLong();
            step.resent = cells[6].toInt();
            step.answered = cells[7] == QLatin1String("yes");
            table.steps.push_back(step);
        }
        if (!table.steps.empty())
            tables.push_back(std::move(table));
    }
    return tables;
}

// One panel of the chart: a frame with its title and axes, and the mapping of values into it.
struct Panel {
    QRectF area;
    double xMax = 1;
    double yMin = 0, yMax = 1;
    bool logarithmic = false;

    double y(double value) const {
        const double low = logarithmic ? std::log10(yMin) : yMin;
        const double high = logarithmic ? std::log10(yMax) : yMax;
        const double at = logarithmic ? std::log10(std::clamp(value, yMin, yMax)) : value;
        return area.bottom() - (at - low) / (high - low) * area.height();
    }
    double x(double value) const { return area.left() + value / xMax * area.width(); }

    void drawFrame(QPainter& painter, const QString& title, const QString& yTitle,
                   const std::vector<double>& yTicks, double xStep) const {
        painter.setPen(QColor(0xdd, 0xdd, 0xdd));
        for (double tick : yTicks)
            painter.drawLine(QPointF(area.left(), y(tick)), QPointF(area.right(), y(tick)));
        for (double tick = 0; tick <= xMax + 0.5; tick += xStep)
            painter.drawLine(QPointF(x(tick), area.top()), QPointF(x(tick), area.bottom()));
        painter.setPen(Qt::black);
        painter.drawRect(area);
        for (double tick : yTicks)
            painter.drawText(QRectF(area.left() - 58, y(tick) - 8, 52, 16),
                             Qt::AlignRight | Qt::AlignVCenter, QString::number(tick));
        for (double tick = 0; tick <= xMax + 0.5; tick += xStep)
            painter.drawText(QRectF(x(tick) - 30, area.bottom() + 4, 60, 16), Qt::AlignCenter,
                             QString::number(tick));
        painter.drawText(QRectF(area.left(), area.top() - 26, area.width(), 20), Qt::AlignCenter,
                         title);
        painter.drawText(QRectF(area.left(), area.bottom() + 22, area.width(), 18), Qt::AlignCenter,
                         QStringLiteral("games a second offered"));
        painter.save();
        painter.translate(area.left() - 64, area.center().y());
        painter.rotate(-90);
        painter.drawText(QRectF(-area.height() / 2, -18, area.height(), 18), Qt::AlignCenter,
                         yTitle);
        painter.restore();
    }
};

double niceStep(double span) {
    const double raw = span / 6;
    const double magnitude = std::pow(10, std::floor(std::log10(std::max(raw, 1.0))));
    for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (factor * magnitude >= raw)
            return factor * magnitude;
    }
    return 10 * magnitude;
}

} // namespace

bool writeCapacityTable(const QString& path, const QString& label,
                        const std::vector<CapacityStep>& steps, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QTextStream out(&file);
    out << "# " << label << '\n' << kHeader << '\n';
    for (const CapacityStep& step : steps) {
        out << step.offered << ',' << QString::number(step.booked, 'f', 1) << ',' << step.games
            << ',' << step.p50Ms << ',' << step.p99Ms << ',' << step.maxMs << ',' << step.resent
            << ',' << (step.answered ? "yes" : "no") << ','
            << QString::number(step.robotsMs, 'f', 3) << ',' << QString::number(step.ircdMs, 'f', 3)
            << ',' << QString::number(step.databaseMs, 'f', 3) << ','
            << QString::number(step.loadMs, 'f', 3) << '\n';
    }
    out.flush();
    if (file.error() != QFile::NoError) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

bool drawCapacityChart(const QString& folder, const QString& png, QString* error) {
    const std::vector<Table> tables = readTables(folder);
    if (tables.empty()) {
        *error = QStringLiteral("no capacity table in ") + folder;
        return false;
    }
    double xMax = 1;
    for (const Table& table : tables) {
        for (const CapacityStep& step : table.steps)
            xMax = std::max({xMax, double(step.offered), step.booked});
    }
    const double xStep = niceStep(xMax);
    xMax = std::ceil(xMax / xStep) * xStep;

    QImage image(1100, 560, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);

    Panel booked{QRectF(90, 70, 420, 360), xMax, 0, xMax, false};
    Panel latency{QRectF(640, 70, 420, 360), xMax, 1, 10000, true};
    std::vector<double> bookedTicks;
    for (double tick = 0; tick <= xMax + 0.5; tick += xStep)
        bookedTicks.push_back(tick);
    booked.drawFrame(painter, QStringLiteral("games a second booked"), QStringLiteral("booked"),
                     bookedTicks, xStep);
    latency.drawFrame(painter, QStringLiteral("p99, from a game's due time to its result"),
                      QStringLiteral("ms (logarithmic)"), {1, 10, 100, 1000, 10000}, xStep);
    painter.setPen(QPen(QColor(0x99, 0x99, 0x99), 1, Qt::DashLine));
    painter.drawLine(QPointF(booked.x(0), booked.y(0)), QPointF(booked.x(xMax), booked.y(xMax)));
    painter.setPen(QPen(QColor(0xcc, 0x33, 0x33), 1, Qt::DashLine));
    painter.drawLine(QPointF(latency.area.left(), latency.y(100)),
                     QPointF(latency.area.right(), latency.y(100)));

    const QColor colours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                              QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd),
                              QColor(0x8c, 0x56, 0x4b)};
    for (std::size_t index = 0; index < tables.size(); ++index) {
        const Table& table = tables[index];
        const QColor colour = colours[index % std::size(colours)];
        QPainterPath bookedLine, latencyLine;
        bool first = true;
        for (const CapacityStep& step : table.steps) {
            const QPointF b(booked.x(step.offered), booked.y(step.booked));
            const QPointF l(latency.x(step.offered),
                            latency.y(double(std::max<qint64>(1, step.p99Ms))));
            if (std::exchange(first, false)) {
                bookedLine.moveTo(b);
                latencyLine.moveTo(l);
            } else {
                bookedLine.lineTo(b);
                latencyLine.lineTo(l);
            }
        }
        painter.setPen(QPen(colour, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(bookedLine);
        painter.drawPath(latencyLine);
        painter.setBrush(colour);
        for (const CapacityStep& step : table.steps) {
            painter.drawEllipse(QPointF(booked.x(step.offered), booked.y(step.booked)), 3, 3);
            painter.drawEllipse(QPointF(latency.x(step.offered),
                                        latency.y(double(std::max<qint64>(1, step.p99Ms)))),
                                3, 3);
        }
        QString legend = table.label;
        if (const CapacityStep* knee = kneeOf(table.steps)) {
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(QPointF(booked.x(knee->offered), booked.y(knee->booked)), 8, 8);
            legend += QStringLiteral(": knee %1 games/s").arg(knee->booked, 0, 'f', 0);
        }
        const double legendY = 500 + 16 * double(index % 3);
        const double legendX = 90 + 340 * double(index / 3);
        painter.setBrush(colour);
        painter.drawRect(QRectF(legendX, legendY - 5, 18, 4));
        painter.setPen(Qt::black);
        painter.drawText(QPointF(legendX + 26, legendY + 1), legend);
    }
    painter.setPen(Qt::black);
    painter.drawText(QRectF(0, 6, image.width(), 24), Qt::AlignCenter,
                     QStringLiteral("Capacity: games offered on a schedule, rising step by step "
                                    "(knee: the most booked with p99 under 100 ms, none resent)"));
    painter.end();
    if (!image.save(png)) {
        *error = png + QStringLiteral(": the picture could not be written");
        return false;
    }
    return true;
}

} // namespace jackwell::load

#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace jackwell {

class Alarm;
class Clock;

namespace load {

// The machines under load: a private ngircd on 127.0.0.1 and the machinekeeper robot
// (jackwell-keeper) with its books, both child processes with their files in a temporary
// folder. The robot can be killed (SIGKILL) and started again on the same books.
class LoadStack {
public:
    static inline const QByteArray kKeeperNick = "Rivet";
    static inline const QByteArray kChannel = "#casino";

    // `fastPace`: the robot's lines a second once exempt (0: its default). `floodLimits`: the
    // server's limits on every client (players included) as shipped, or off.
    LoadStack(Clock& clock, QString keeperBinary, int fastPace = 0, bool floodLimits = true);
    ~LoadStack();

    // Writes the configurations and starts the server; `ready` runs once it accepts
    // connections, with an empty text, or with what went wrong.
    void startServer(std::function<void(const QString& error)> ready);
    // Starts the robot; `speaking` runs once it has told the server it is flood-exempt (or
    // with what went wrong).
    void startKeeper(std::function<void(const QString& error)> speaking);
    // SIGKILL, at once; the robot's peak memory so far is kept.
    void killKeeper();
    // SIGTERM and a bounded wait for the robot to say goodbye.
    void stopKeeper();
    void stopServer();

    quint16 port() const { return port_; }
    QString booksPath() const;
    QString keeperLogPath() const;
    // The largest resident memory any robot process reached (kB), as the kernel counts it.
    qint64 keeperPeakKb() const { return peakKb_; }
    // One line on how the server is set up, for the report.
    static QString serverDescription(bool floodLimits);
    void keepFiles() { dir_.setAutoRemove(false); }
    QString folder() const { return dir_.path(); }

private:
    bool writeFiles(QString* error);
    QString initBooks();
    void sampleKeeperMemory();
    void waitFor(std::function<bool()> done, int budgetMs, std::function<void(bool)> then);

    Clock& clock_;
    QObject context_; // ends pending polls with the stack
    QString keeperBinary_;
    int fastPace_ = 0;
    bool floodLimits_ = true;
    QTemporaryDir dir_;
    quint16 port_ = 0;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> keeper_;
    std::unique_ptr<Alarm> memoryAlarm_;
    qint64 peakKb_ = 0;
    qint64 keeperLogOffset_ = 0;
};

} // namespace load
} // namespace jackwell

#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace jackwell {

class Clock;

namespace load {

// The relay's floor: how many games a second the run's IRC server passes on with no robot. As
// many clients as the run has players send holds to stand-ins for the robots (as many as the
// run has, exempt from the flood limits as the robots are), which answer each at once with a
// game's three lines; a player sends its next holds as soon as the third line arrives.
class RelayFloor {
public:
    static constexpr int kJoinBudgetMs = 20000;
    static constexpr int kStaggerMs = 10;
    static constexpr int kWarmUpMs = 500;
    static constexpr int kMeasureMs = 2000;

    // `exempt`: the lines that exempt a client named NICK from the flood limits.
    RelayFloor(Clock& clock, quint16 port, int players, int robots,
               std::function<QList<QByteArray>(const QByteArray& nick)> exempt);
    ~RelayFloor();

    // Measures, then `done` with the games a second, or with what went wrong.
    void measure(std::function<void(double gamesPerSecond, const QString& error)> done);

private:
    class Client;
    void connectNext();
    void onReady();
    void onLine(Client& client, const QByteArray& from, const QByteArray& text);
    void finish(const QString& error);

    Clock& clock_;
    QObject context_; // ends pending calls with the floor
    quint16 port_ = 0;
    int players_ = 1;
    int robots_ = 1;
    std::function<QList<QByteArray>(const QByteArray&)> exempt_;
    std::vector<std::unique_ptr<Client>> clients_; // the stand-ins first
    std::function<void(double, const QString&)> done_;
    int ready_ = 0;
    bool started_ = false;
    bool finished_ = false;
    qint64 measureFromMs_ = 0;
    qint64 games_ = 0;
};

} // namespace load
} // namespace jackwell

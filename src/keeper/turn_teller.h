#pragma once

#include "keeper/books_worker.h"
#include "keeper/keeper_config.h"
#include "keeper/keeper_deliveries.h"
#include "keeper/keeper_log.h"
#include "keeper/keeper_turns.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

namespace jackwell {

class Clock;

namespace keeper {

class KeeperDurableAnswers;
class KeeperLastWords;
class KeeperProbeWindow;
class KeeperResentHolds;
class KeeperRoster;
class KeeperSendQueue;
struct KeeperMetrics;

// The event loop's end of each message's turn: hands it to the books' thread (KeeperTurns,
// reached only through the BooksWorker) and, once the books have it safe, tells its player the
// answer, following each result and first draw to them (see KeeperDeliveries).
class TurnTeller : public QObject {
public:
    // Holds that came while another machine sharing the books was still telling the player's last
    // result are asked about again this often, until that machine is seen to have delivered it.
    static constexpr int kElsewhereRecheckMs = 50;
    // A player who came back after leaving with a result on its way is told the result at once,
    // and the first draw after it when they next write, or after this long. A program that sends
    // its holds again once reconnected (they reach the robot late, where the server holds back a
    // new client's lines) gets the first draw for them rather than having them played on it.
    static constexpr int kWithheldDrawMs = 1500;

    // The robot's parts that answers go through; all of them must outlive the teller.
    struct Parts {
        Clock& clock;
        const KeeperConfig& config;
        BooksWorker& worker;
        KeeperDeliveries& deliveries;
        KeeperRoster& roster;
        const KeeperSendQueue& queue;
        KeeperDurableAnswers& answers;
        KeeperLastWords& lastWords;
        KeeperProbeWindow& probes;
        KeeperResentHolds& resentHolds;
        KeeperMetrics& metrics;
        const KeeperLogger& log;
        // `recipient` left with something on its way to them.
        std::function<void(const QString& recipient)> watchReturn;
    };

    explicit TurnTeller(Parts parts);

    // Works `text` from `nick` on `player`'s books (no text: they came back) and tells the answer.
    void submitTurn(const QString& player, const QByteArray& nick, const QString& text,
                    qint64 arrivedMs, bool returned = false, bool afterElsewhere = false);
    // `nick` (player `recipient`) is back after leaving with something on its way to them.
    void tellReturned(const QByteArray& nick, const QString& recipient);
    // Notes in the books what a probe showed delivered.
    void markDelivered(const KeeperDeliveries::Delivered& marks);

private:
    void recheckSoon(const QString& player, const QByteArray& nick, const QString& text,
                     const BooksTurn& turn);
    // The first draw held back from a player who came back goes out unless they wrote meanwhile.
    void tellWithheldDrawLater(const QString& player, const QByteArray& nick);
    void tellTurn(const BooksTurn& turn, const BooksWorker::Ending& ending, const QByteArray& nick,
                  const QString& player);
    // `played`: the result of holds played just now (not one told again).
    void queueFor(const QByteArray& nick, const QString& player, const BooksTurn::Told& told,
                  bool played);

    Clock& clock_;
    const KeeperConfig& config_;
    BooksWorker& worker_;
    KeeperDeliveries& deliveries_;
    KeeperRoster& roster_;
    const KeeperSendQueue& queue_;
    KeeperDurableAnswers& answers_;
    KeeperLastWords& lastWords_;
    KeeperProbeWindow& probes_;
    KeeperResentHolds& resentHolds_;
    KeeperMetrics& metrics_;
    const KeeperLogger& log_;
    std::function<void(const QString& recipient)> watchReturn_;
    // Each player's newest turn, while it is on the books or waits to be worked again.
    QHash<QString, quint64> newestTurnOf_;
    quint64 turnsHandedOver_ = 0;
    quint64 turnsTold_ = 0;
};

} // namespace keeper
} // namespace jackwell

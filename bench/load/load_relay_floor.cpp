#include "load_relay_floor.h"

#include "clock/clock.h"
#include "irc/irc_line_reader.h"
#include "irc/irc_message.h"
#include "irc/irc_numerics.h"
#include "machine/messages.h"
#include "machine/texts.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace jackwell::load {

namespace {

QByteArray bytesOf(QLatin1StringView text) {
    return QByteArray(text.data(), text.size());
}

const QByteArray kHolds = bytesOf(machine::kHoldPrefix) + "1,0,1";
const QByteArray kFirstHead = bytesOf(machine::kFirstDrawHead);
const QByteArray kOperReply = "381";

// A game's three lines as the robot says them.
QByteArray gameLines(const QByteArray& to) {
    const QByteArray head = "PRIVMSG " + to + " :";
    return head + machine::finalDrawLine({4, 14, 10}, 99).toUtf8() + "\r\n" + head +
           "Click START to see your first draw.\r\n" + head +
           machine::firstDrawLine({4, 14, 10}).toUtf8() + "\r\n";
}

} // namespace

// One client of the server, a player or a stand-in for a robot.
class RelayFloor::Client : public QObject {
public:
    Client(RelayFloor& floor, QByteArray nick, bool standIn)
        : floor_(floor)
        , nick_(std::move(nick))
        , standIn_(standIn) {
        connect(&socket_, &QTcpSocket::connected, this, [this] {
            socket_.write("NICK " + nick_ + "\r\nUSER " + nick_ + " 0 * :relay floor\r\n");
        });
        connect(&socket_, &QTcpSocket::readyRead, this, [this] { read(); });
        connect(&socket_, &QTcpSocket::errorOccurred, this,
                [this] { floor_.finish(nick_ + ": " + socket_.errorString().toUtf8()); });
        socket_.connectToHost(QHostAddress::LocalHost, floor_.port_);
    }
    ~Client() override {
        socket_.disconnect(this);
        socket_.abort();
    }

    const QByteArray& nick() const { return nick_; }
    bool isStandIn() const { return standIn_; }
    void write(const QByteArray& bytes) { socket_.write(bytes); }

private:
    void read() {
        for (const QByteArray& line : reader_.feed(socket_.readAll())) {
            const auto message = parseIrcLine(line);
            if (!message)
                continue;
            if (message->command == "PING") {
                socket_.write("PONG :" + message->last() + "\r\n");
            } else if (message->command == irc_numeric::welcome) {
                if (!standIn_) {
                    floor_.onReady();
                    continue;
                }
                for (const QByteArray& exempt : floor_.exempt_(nick_))
                    socket_.write(exempt);
            } else if (message->command == kOperReply) {
                floor_.onReady();
            } else if (message->command == "PRIVMSG") {
                floor_.onLine(*this, nickOf(message->prefix), message->last());
            }
            if (floor_.finished_)
                return;
        }
    }

    RelayFloor& floor_;
    QByteArray nick_;
    bool standIn_ = false;
    QTcpSocket socket_;
    IrcLineReader reader_;
};

RelayFloor::RelayFloor(Clock& clock, quint16 port, int players, int robots,
                       std::function<QList<QByteArray>(const QByteArray&)> exempt)
    : clock_(clock)
    , port_(port)
    , players_(std::max(1, players))
    , robots_(std::max(1, robots))
    , exempt_(std::move(exempt)) {}

RelayFloor::~RelayFloor() = default;

void RelayFloor::measure(std::function<void(double, const QString&)> done) {
    done_ = std::move(done);
    connectNext();
    clock_.callAfter(kJoinBudgetMs + (robots_ + players_) * kStaggerMs, &context_, [this] {
        if (!started_)
            finish(QStringLiteral("relay floor: %1 of %2 clients registered in %3 s")
                       .arg(ready_)
                       .arg(robots_ + players_)
                       .arg(kJoinBudgetMs / 1000));
    });
}

// Clients arrive a few milliseconds apart, as the run's players do: the server takes a crowd
// connecting at once from one address badly.
void RelayFloor::connectNext() {
    const int index = int(clients_.size());
    if (finished_ || index == robots_ + players_)
        return;
    const bool standIn = index < robots_;
    clients_.push_back(std::make_unique<Client>(
        *this, (standIn ? "standin" : "relay") + QByteArray::number(index + 1), standIn));
    clock_.callAfter(kStaggerMs, &context_, [this] { connectNext(); });
}

// Everyone is there: every player sends its first holds.
void RelayFloor::onReady() {
    if (++ready_ < robots_ + players_ || started_)
        return;
    started_ = true;
    measureFromMs_ = clock_.monotonicMs() + kWarmUpMs;
    for (std::size_t player = std::size_t(robots_); player < clients_.size(); ++player)
        clients_[player]->write("PRIVMSG " + clients_[player % std::size_t(robots_)]->nick() +
                                " :" + kHolds + "\r\n");
    clock_.callAfter(kWarmUpMs + kMeasureMs, &context_, [this] { finish({}); });
}

void RelayFloor::onLine(Client& client, const QByteArray& from, const QByteArray& text) {
    if (!started_ || finished_)
        return;
    if (client.isStandIn()) {
        client.write(gameLines(from));
        return;
    }
    if (!text.startsWith(kFirstHead))
        return;
    if (clock_.monotonicMs() >= measureFromMs_)
        ++games_;
    client.write("PRIVMSG " + from + " :" + kHolds + "\r\n");
}

void RelayFloor::finish(const QString& error) {
    if (finished_)
        return;
    finished_ = true;
    const double seconds = (clock_.monotonicMs() - measureFromMs_) / 1000.0;
    // The clients go from the event loop, not from inside their own calls.
    clock_.callAfter(0, &context_, [this, error, seconds] {
        clients_.clear();
        done_(error.isEmpty() && seconds > 0 ? double(games_) / seconds : 0, error);
    });
}

} // namespace jackwell::load

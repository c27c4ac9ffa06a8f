#pragma once

#include "machine/books.h"

#include <QString>
#include <QStringList>

#include <random>
#include <vector>

namespace jackwell::machine {

// One line the machinekeeper says: to everyone, or privately to the player `to`.
struct Reply {
    bool isPublic = false;
    QString to;
    QString text;

    bool operator==(const Reply&) const = default;
};

// The machinekeeper robot: runs the slot machine for players who write to it privately.
// It knows nothing of how messages travel; whoever hosts it passes each private message in
// and sends the lines that come back, in order. Not thread-safe: one message at a time.
//
// A player registers ("Register me!"), gets a first draw, answers with holds
// ("I hold 1,0,1") and gets the final draw with the credits left, followed by the next
// game's first draw while a credit is left. After its protocol lines the machinekeeper says
// in plain words what happened and what to do next on the card; those sentences carry no
// protocol marker. Each finished game is committed to the books before its lines are returned.
class MachineKeeper {
public:
    // Longer sender names are not players; their messages get no answer.
    static constexpr qsizetype kMaxPlayerNameLength = 256;

    // `books` must outlive the keeper. The same seed and the same messages give the same draws.
    MachineKeeper(QString name, Books& books, quint64 seed);

    QString name() const { return name_; }
    // Public lines to say on arrival.
    QStringList bannerLines() const;
    // The answer to `text` written privately by `sender`; empty when there is nobody to answer.
    std::vector<Reply> onPrivateMessage(const QString& sender, const QString& text);

private:
    std::vector<Reply> registerPlayer(const QString& player);
    std::vector<Reply> playGame(const QString& player, const HoldMask& holds);
    std::optional<PlayerRecord> loadPlayable(const QString& player);
    ReelCodes drawReels();

    QString name_;
    Books& books_;
    std::mt19937_64 random_;
};

} // namespace jackwell::machine

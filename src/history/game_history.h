#pragma once

#include "chatview/chat_line_look.h"
#include "history/final_lines_file.h"
#include "history/history_figures.h"

#include <QString>

#include <optional>
#include <vector>

namespace jackwell {

class ChatPort;

namespace history {

// Where the player's games come from, for the statistics: in the embedded world, the
// machinekeeper's own books; on a network, the results the card saw from its machinekeeper,
// which this keeps in the player's data folder, a file per network and machinekeeper
// (FinalLinesFile).
class GameHistory {
public:
    // `dataDir`: where the networks' files are kept; empty: nowhere, and a network's games are
    // not shown.
    explicit GameHistory(QString dataDir);

    // The chat world the card plays in; null while none is open. It must outlive the attachment.
    void attach(ChatPort* port);
    // A final draw the card has shown, as its line stands in the chat text after the private
    // prefix ("NAME: FINAL: ..."): on a network it is kept as one of the player's games. Results
    // a machinekeeper sends unasked are never shown by the card, so never kept.
    void resultShown(const QString& line);

    struct Games {
        QString source; // where they come from, in words for the player
        std::vector<PlayedGame> games;
        QString problem; // what could not be read or kept; empty when all was well
    };
    // The player's games with `keeperName`, the card's machinekeeper (on a network, the one
    // whose results are shown; none before GET HOST has found it).
    Games read(const QString& keeperName) const;

    // What the player must hear about the world's books (a damaged file set aside, say); empty
    // when there is nothing to say.
    QString notice() const;

private:
    QString networkFile(const QString& keeperName) const;

    QString dataDir_;
    ChatPort* port_ = nullptr;
    std::optional<FinalLinesFile> kept_; // the file the last result went to
    QString keptProblem_;                // the last result that could not be kept, and why
};

} // namespace history
} // namespace jackwell

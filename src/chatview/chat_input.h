#pragma once

#include <QString>
#include <QStringList>

namespace jackwell {

// What the player typed into the chat window's line.
struct ChatInput {
    enum class Kind {
        Nothing, // blank: nothing to send
        Public,  // plain text: said in public (or to the query's partner)
        Private, // "/msg NAME text": sent privately to NAME
        Action,  // "/me text": an action, in public
        Join,    // "/join #channel": `recipient` is the channel
        Nick,    // "/nick NAME": `recipient` is the new name
        Query,   // "/query NAME [text]": plain text goes to NAME from now on; no name ends it
        Help,    // "/help": the commands
        Fault,   // a command that cannot be sent; `text` says why, for a system line
    };
    Kind kind = Kind::Nothing;
    QString recipient;
    QString text;

    bool operator==(const ChatInput&) const = default;
};

// Plain text is said as typed. A command is "/" and its name, in any letter case; its name
// argument is the word after it and its text what follows the one blank behind that word, as
// typed. "/msg NAME text", "/me text", "/join CHANNEL" (a "#" put in front of a name without
// one), "/nick NAME", "/query [NAME [text]]", "/help". A line that starts with "//" is plain
// text starting with "/". Any other command, and one without what it needs, is a fault.
ChatInput parseChatInput(const QString& typed);

// The commands, one line each, for "/help".
QStringList chatCommandHelp();

} // namespace jackwell

#pragma once

#include <QString>

namespace jackwell {

// What the player typed into the chat window's line.
struct ChatInput {
    enum class Kind {
        Nothing, // blank: nothing to send
        Public,  // plain text: said in public
        Private, // "/msg NAME text": sent privately to NAME
        Fault,   // a command that cannot be sent; `text` says why, for a system line
    };
    Kind kind = Kind::Nothing;
    QString recipient;
    QString text;

    bool operator==(const ChatInput&) const = default;
};

// Plain text is said in public as typed. "/msg NAME text" (the command in any letter case)
// sends `text` privately to NAME, the text as typed after the one blank behind the name. A
// line that starts with "//" is plain text starting with "/". Any other "/" command, and a
// "/msg" without a name or a text, is a fault.
ChatInput parseChatInput(const QString& typed);

} // namespace jackwell

#pragma once

#include <QByteArrayView>
#include <QString>

namespace jackwell::keeper {

// How the IRC server compares nicknames, from the CASEMAPPING of its 005 reply.
enum class CaseMapping {
    Ascii,         // A-Z equal a-z
    Rfc1459,       // also [ ] \ ~ equal { } | ^ (the default when the server says nothing)
    StrictRfc1459, // also [ ] \ equal { } |
};

// The mapping a CASEMAPPING value names; Rfc1459 for one this program does not know.
CaseMapping caseMappingNamed(QByteArrayView name);

// The name under which the machinekeeper keeps a player's books: the nickname in the form the
// server treats as the same person, so that "Alice" and "alice" share books exactly when the
// server lets only one of them exist at a time. Every byte keeps its own character.
QString playerKey(QByteArrayView nick, CaseMapping mapping);

} // namespace jackwell::keeper

// The IRC module: the IRC backend and Qt Network behind it in a shared library of its own, which
// the program opens only when a Chat.txt names a network (ircBackendsFromModule). Its entry is
// kIrcModuleEntry.

#include "chat/irc_module.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT jackwell::ChatPort*
jackwellCreateIrcBackend(jackwell::Clock& clock, const jackwell::IrcConfig& config,
                         const QStringList& warnings) {
    return jackwell::makeIrcBackend(clock, config, warnings).release();
}

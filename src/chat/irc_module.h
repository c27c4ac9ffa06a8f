#pragma once

#include "chat/irc_backend.h"

namespace jackwell {

// IRC backends from the IRC module (irc_module_entry.cpp, platform/program_module.h), which is
// opened the first time a Chat.txt names a network: a program that plays in the embedded world
// never loads Qt Network.
IrcBackendMaker ircBackendsFromModule(const QString& executableDir);

// The IRC module's entry point: `ChatPort* jackwellCreateIrcBackend(Clock&, const IrcConfig&,
// const QStringList& warnings)`, makeIrcBackend's port, owned by the caller.
inline constexpr char kIrcModuleEntry[] = "jackwellCreateIrcBackend";

} // namespace jackwell

#include "world/default_backend.h"

#include "chat/irc_backend.h"
#include "irc/irc_config.h"
#include "platform/player_files.h"
#include "world/embedded_world.h"

#include <QFileInfo>

#include <cstdio>

namespace jackwell {

QString chatConfigFilePath(const QString& executableDir) {
    return playerFilePath(executableDir, kChatConfigFileName);
}

// A Chat.txt names an IRC network; without it the embedded world plays. A
// configuration that cannot be used makes opening the chat link fail, naming
// the line and what is wrong with it.
std::unique_ptr<ChatBackend> makeDefaultBackend(Clock& clock, const QString& executableDir) {
    const QString path = chatConfigFilePath(executableDir);
    if (!QFileInfo::exists(path))
        return makeEmbeddedWorld(clock);
    const IrcConfigResult read = readIrcConfig(path);
    if (!read.config)
        return std::make_unique<UnopenableBackend>(read.error);
    auto backend = std::make_unique<IrcBackend>(clock, *read.config);
    for (const QString& warning : read.warnings) {
        std::fprintf(stderr, "jackwell: %s\n", qPrintable(warning));
        backend->addSystemLine(warning);
    }
    return backend;
}

} // namespace jackwell

#include "world/default_backend.h"

#include "chat/irc_backend.h"
#include "irc/irc_config.h"
#include "world/embedded_world.h"

#include <QDir>
#include <QFileInfo>

namespace jackwell {

// Chat.txt beside the executable names an IRC network; without it the
// embedded world plays. A configuration that cannot be used makes opening the
// chat link fail, naming the line and what is wrong with it.
std::unique_ptr<ChatBackend> makeDefaultBackend(Clock& clock, const QString& executableDir) {
    const QString path = QDir(executableDir).filePath(kChatConfigFileName);
    if (!QFileInfo::exists(path))
        return makeEmbeddedWorld(clock);
    const IrcConfigResult read = readIrcConfig(path);
    if (!read.config)
        return std::make_unique<UnopenableBackend>(read.error);
    return std::make_unique<IrcBackend>(clock, *read.config);
}

} // namespace jackwell

#include "chat/irc_module.h"

#include "platform/program_module.h"

namespace jackwell {

IrcBackendMaker ircBackendsFromModule(const QString& executableDir) {
    const QStringList places =
        programModulePlaces(executableDir, QStringLiteral(JACKWELL_IRC_MODULE_FILE));
    return [places](Clock& clock, const IrcConfig& config, const QStringList& warnings,
                    QString* error) -> std::unique_ptr<ChatPort> {
        using Create = ChatPort* (*)(Clock&, const IrcConfig&, const QStringList&);
        const auto create =
            reinterpret_cast<Create>(openProgramModule(places, kIrcModuleEntry, error));
        if (!create)
            return nullptr;
        return std::unique_ptr<ChatPort>(create(clock, config, warnings));
    };
}

} // namespace jackwell

#include "shell/world_choice.h"

#include "chat/chat_log.h"
#include "irc/irc_config.h"
#include "platform/player_files.h"
#include "world/embedded_world.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace jackwell {

namespace {

// A chat world that cannot be opened, and says why: what the library gets when the world it
// was configured for cannot even be set up.
class UnopenableBackend final : public ChatPort {
public:
    explicit UnopenableBackend(QString reason)
        : reason_(std::move(reason)) {}

    bool open(EventSink) override { return false; }
    QString openError() const override { return reason_; }
    void close() override {}
    std::optional<ChatStatus> registerAgain() override { return ChatStatus::GivenUp; }
    std::optional<ChatStatus> sendPrivateMessage(const QString&, const QString&) override {
        return ChatStatus::GivenUp;
    }
    std::optional<ChatStatus> requestText() override { return ChatStatus::GivenUp; }
    const ChatLog& chatLog() const override { return log_; }
    void setListener(Listener) override {}
    ChatLinkStatus linkStatus() const override { return {}; }
    QString ownName() const override { return {}; }
    void sayInPublic(const QString&) override {}

private:
    QString reason_;
    ChatLog log_; // stays empty
};

} // namespace

QString chatConfigFilePath(const QString& executableDir) {
    return playerFilePath(executableDir, kChatConfigFileName);
}

QString rivetBooksFilePath() {
    return QDir(playerDataDir()).filePath(QStringLiteral("rivet.sqlite"));
}

// A Chat.txt names an IRC network; without it the embedded world plays. A
// configuration that cannot be used makes opening the chat link fail, naming
// the line and what is wrong with it.
std::unique_ptr<ChatPort> makeDefaultBackend(Clock& clock, const QString& executableDir,
                                             const QString& rivetBooksPath,
                                             const IrcBackendMaker& makeIrc) {
    const QString path = chatConfigFilePath(executableDir);
    if (!QFileInfo::exists(path))
        return makeEmbeddedWorld(clock, rivetBooksPath);
    const IrcConfigResult read = readIrcConfig(path);
    if (!read.config)
        return std::make_unique<UnopenableBackend>(read.error);
    for (const QString& warning : read.warnings)
        std::fprintf(stderr, "jackwell: %s\n", qPrintable(warning));
    QString error;
    if (auto backend = makeIrc(clock, *read.config, read.warnings, &error))
        return backend;
    return std::make_unique<UnopenableBackend>(error);
}

} // namespace jackwell

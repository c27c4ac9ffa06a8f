#pragma once

// Stand-ins for the program's effects (played, beeped, sent) and a chat of scripted statuses.

#include "chat/chat_log.h"
#include "chat/chat_port.h"
#include "clock/clock.h"
#include "sound/beeper.h"
#include "sound/sound_player.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <deque>
#include <optional>
#include <vector>

namespace jackwell::testing {

struct FakeSound final : SoundPlayer, Beeper {
    struct Played {
        QString file;
        bool repeat;
    };
    std::vector<Played> played;
    const Clock* clock = nullptr; // when set, beeps are noted at its time
    std::vector<qint64> beeps;    // when each beep came
    void playSound(const QString& filename, bool repeat) override {
        played.push_back({filename, repeat});
    }
    void stopSound() override {}
    void beep() override { beeps.push_back(clock ? clock->monotonicMs() : 0); }
};

// A chat world whose statuses come from a script: each request takes the next (std::nullopt: none);
// when it runs out it answers `otherwise`. Its chat log holds two lines unless set (setLines).
class ScriptedBackend final : public ChatPort {
public:
    struct Call {
        QByteArray what; // "send", "register", "text"
        QString recipient;
        QString message;
    };

    bool openResult = true;
    QString refusal; // why an open that fails failed
    std::deque<std::optional<ChatStatus>> statuses;
    std::optional<ChatStatus> otherwise = ChatStatus::Done;
    std::vector<Call> calls;
    ChatLinkStatus status;
    static inline int closes = 0; // of every scripted world

    ScriptedBackend() { setLines({"line one", "line two"}); }
    void setLines(const QStringList& lines) {
        log_ = ChatLog();
        for (const QString& line : lines)
            log_.appendLine(line);
    }
    int count(const QByteArray& what) const {
        return int(std::count_if(calls.begin(), calls.end(),
                                 [&](const Call& call) { return call.what == what; }));
    }

    bool open(EventSink) override { return openResult; }
    QString openError() const override { return refusal; }
    void close() override { ++closes; }
    std::optional<ChatStatus> registerAgain() override {
        calls.push_back({"register", {}, {}});
        return std::nullopt;
    }
    // A message that left shows in the chat log, as in every chat world.
    std::optional<ChatStatus> sendPrivateMessage(const QString& to, const QString& text) override {
        calls.push_back({"send", to, text});
        const std::optional<ChatStatus> status = next();
        if (status == ChatStatus::Done)
            log_.appendLine(QStringLiteral("ESP to ") + to + QStringLiteral(": ") + text);
        return status;
    }
    void appendLine(const QString& line, int greeting = 0) { log_.appendLine(line, greeting); }
    std::optional<ChatStatus> requestText() override {
        calls.push_back({"text", {}, {}});
        return next();
    }
    const ChatLog& chatLog() const override { return log_; }
    void setListener(Listener) override {}
    ChatLinkStatus linkStatus() const override { return status; }
    QString ownName() const override { return {}; }
    void sayInPublic(const QString&) override {}

private:
    std::optional<ChatStatus> next() {
        if (statuses.empty())
            return otherwise;
        const std::optional<ChatStatus> status = statuses.front();
        statuses.pop_front();
        return status;
    }

    ChatLog log_;
};

} // namespace jackwell::testing

#pragma once

// Stand-ins for the program's effects, so tests see what the game would have
// played, beeped or sent, and a chat backend that answers whatever status a
// test asks for.

#include "chat/chat_backend.h"
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

// A chat backend whose statuses come from a script: each request takes the next
// scripted status (std::nullopt: reports none); when the script runs out it
// answers `otherwise`.
class ScriptedBackend final : public ChatBackend {
public:
    struct Call {
        QByteArray what; // "communicate", "register", "text"
        qint16 code = 0;
        QByteArray recipient;
        QByteArray message;
    };

    bool openResult = true;
    QString refusal; // why an open that fails failed
    std::deque<std::optional<QByteArray>> statuses;
    std::optional<QByteArray> otherwise = QByteArray("0");
    QByteArray text = QByteArray("line one\r\nline two") + QByteArray("    ") + '\0';
    std::vector<Call> calls;
    bool* closed = nullptr; // outlives the backend

    int count(const QByteArray& what) const {
        return int(std::count_if(calls.begin(), calls.end(),
                                 [&](const Call& call) { return call.what == what; }));
    }
    QByteArray lastMessage() const {
        for (auto call = calls.rbegin(); call != calls.rend(); ++call) {
            if (call->what == "communicate")
                return call->message;
        }
        return {};
    }

    bool open(const QByteArray&, EventSink) override { return openResult; }
    QString openError() const override { return refusal; }
    void close() override {
        if (closed)
            *closed = true;
    }
    std::optional<QByteArray> registerApp(const QByteArray&) override {
        record({"register", 0, {}, {}});
        return std::nullopt;
    }
    std::optional<QByteArray> communicate(const QByteArray&, qint16 code, const QByteArray& to,
                                          const QByteArray& message) override {
        record({"communicate", code, to, message});
        return next();
    }
    std::optional<QByteArray> requestText(const QByteArray&) override {
        record({"text", 0, {}, {}});
        return next();
    }
    QByteArray deliveredText() override { return text; }

private:
    void record(Call call) { calls.push_back(std::move(call)); }
    std::optional<QByteArray> next() {
        if (statuses.empty())
            return otherwise;
        // Taken apart rather than copied whole: GCC 12 warns, wrongly, that a
        // copied std::optional<QByteArray> may be used uninitialised.
        const bool reports = statuses.front().has_value();
        const QByteArray status = reports ? *statuses.front() : QByteArray();
        statuses.pop_front();
        if (!reports)
            return std::nullopt;
        return status;
    }
};

} // namespace jackwell::testing

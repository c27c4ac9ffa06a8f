#pragma once

// A private sound server for tests: Debian's PulseAudio with one null output, its own configuration
// and socket in a temporary folder, in the foreground (TestServer). Started before the first sound,
// it takes this process's sound clients; its monitor records 16-bit stereo at 44.1 kHz.

#include "support/test_server.h"

#include <optional>
#include <vector>

namespace jackwell::testing {

class PulseAudioServer : public TestServer {
public:
    static constexpr int kRate = 44100;
    static constexpr int kChannels = 2;

    PulseAudioServer()
        : TestServer({"pulse.log"}) {}
    ~PulseAudioServer() { stop(); }

    // Starts the server and waits (a few seconds at most) until it answers.
    bool start(QString* error);
    // Stops the recorder and the server (SIGTERM, then SIGKILL if they linger).
    void stop();

    // Records what the output plays from now on, dropping any earlier recording.
    bool startRecording(QString* error);
    void stopRecording() { end(recorder_, SIGINT); }
    // The samples recorded so far, interleaved left and right.
    std::vector<qint16> recording() const;

    // The streams that play into the output now, one line each.
    QStringList playingStreams() const;

    // True when PulseAudio and its tools are there, installing them if missing.
    static bool ensureInstalled(QString* error);

private:
    // What pactl says to `arguments`; nullopt when it fails.
    std::optional<QByteArray> control(const QStringList& arguments) const;

    QProcessEnvironment environment_;
    std::unique_ptr<QProcess> recorder_;
    QString recordingFile_;
    int recordings_ = 0;
};

} // namespace jackwell::testing

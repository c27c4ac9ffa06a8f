#pragma once

// A private sound server for tests: Debian's PulseAudio with one null output
// (no sound card), its own configuration and socket in a temporary folder (no
// network), run in the foreground as a child process and stopped by its PID.
// Installed first when missing (through scripts/install-deps.sh). Starting it
// points this process's sound clients, Qt Multimedia included, at it: start it
// before the first sound is played. What reaches the output can be recorded
// from its monitor and looked at as 16-bit stereo samples at 44.1 kHz.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace jackwell::testing {

class PulseAudioServer {
public:
    static constexpr int kRate = 44100;
    static constexpr int kChannels = 2;

    PulseAudioServer();
    ~PulseAudioServer();

    // Starts the server and waits (a few seconds at most) until it answers.
    bool start(QString* error);
    // Stops the recorder and the server (SIGTERM, then SIGKILL if it lingers).
    void stop();

    // Records what the output plays from now on, dropping any earlier recording.
    bool startRecording(QString* error);
    void stopRecording();
    // The samples recorded so far, interleaved left and right.
    std::vector<qint16> recording() const;

    // The streams that play into the output now, one line each.
    QStringList playingStreams() const;
    // The server's log, for failure messages.
    QString log() const;

    // True when PulseAudio and its tools are there, installing them if missing.
    static bool ensureInstalled(QString* error);

private:
    std::unique_ptr<QProcess> tool(const QString& program, const QStringList& arguments) const;

    QTemporaryDir dir_;
    QProcessEnvironment environment_;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> recorder_;
    QString recordingFile_;
    int recordings_ = 0;
};

} // namespace jackwell::testing

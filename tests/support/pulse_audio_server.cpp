#include "support/pulse_audio_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <optional>

namespace jackwell::testing {

namespace {

const QString kServer = QStringLiteral("/usr/bin/pulseaudio");
const QString kControl = QStringLiteral("/usr/bin/pactl");
const QString kRecorder = QStringLiteral("/usr/bin/parec");
constexpr int kReadyMs = 5000;
constexpr int kToolTimeoutMs = 5000;

} // namespace

bool PulseAudioServer::ensureInstalled(QString* error) {
    return installWhenMissing(
        [] {
            return std::ranges::all_of(
                std::initializer_list<QString>{kServer, kControl, kRecorder},
                [](const QString& p) { return QFileInfo(p).isExecutable(); });
        },
        "PulseAudio", error);
}

std::optional<QByteArray> PulseAudioServer::control(const QStringList& arguments) const {
    QString ignored;
    const auto tool = runToEnd({.program = kControl,
                                .arguments = arguments,
                                .errorLog = "pactl.log",
                                .environment = environment_},
                               kToolTimeoutMs, &ignored);
    return tool ? std::optional(tool->readAllStandardOutput()) : std::nullopt;
}

bool PulseAudioServer::start(QString* error) {
    if (process_)
        return true;
    if (!ensureInstalled(error) || !folderReady(error))
        return false;
    const QString socket = QStringLiteral("unix:") + path("native");
    // Only these modules: no sound card, no session bus, no network.
    const QByteArray script =
        QFile::encodeName(QStringLiteral("load-module module-native-protocol-unix "
                                         "auth-anonymous=1 socket=%1\n")
                              .arg(path(QStringLiteral("native")))) +
        "load-module module-null-sink sink_name=testsink rate=44100 channels=2 "
        "sink_properties=device.description=TestSink\n"
        "set-default-sink testsink\n";
    if (!writeFile("test.pa", script, error))
        return false;
    QDir(dir_.path()).mkpath("run");
    QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.insert("HOME", dir_.path());
    environment_.insert("XDG_RUNTIME_DIR", path("run"));
    environment_.insert("XDG_CONFIG_HOME", path("config"));
    environment_.insert("PULSE_SERVER", socket);
    if (!launchReady(
            process_,
            {.program = kServer,
             .arguments = {"-n", "-F", path("test.pa"), "--daemonize=no", "--exit-idle-time=-1",
                           "--use-pid-file=no", "--realtime=no", "--high-priority=no",
                           "--log-target=file:" + path("pulse.log"), "--log-level=notice"},
             .environment = environment_},
            [this] { return control({"info"}).has_value(); }, kReadyMs,
            "PulseAudio does not answer", error))
        return false;
    qputenv("PULSE_SERVER", socket.toLocal8Bit());
    return true;
}

void PulseAudioServer::stop() {
    stopRecording();
    end(process_);
}

bool PulseAudioServer::startRecording(QString* error) {
    stopRecording();
    recordingFile_ = QStringLiteral("recording-%1.raw").arg(++recordings_);
    // Recording only once its stream is there, so nothing played from now on is missed.
    const auto recording = [this] {
        const auto outputs = control({"list", "short", "source-outputs"});
        return outputs && !outputs->trimmed().isEmpty();
    };
    // A short latency, so that what was played reaches the file soon.
    return launchReady(recorder_,
                       {.program = kRecorder,
                        .arguments = {"--latency-msec=20", "-d", "testsink.monitor",
                                      "--format=s16le", QStringLiteral("--rate=%1").arg(kRate),
                                      QStringLiteral("--channels=%1").arg(kChannels), "--raw"},
                        .log = recordingFile_,
                        .errorLog = "parec.log",
                        .environment = environment_},
                       recording, kReadyMs, "parec does not record", error);
}

std::vector<qint16> PulseAudioServer::recording() const {
    if (!recorder_)
        return {};
    const QByteArray bytes = fileText(recordingFile_);
    std::vector<qint16> samples(size_t(bytes.size()) / sizeof(qint16));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(qint16));
    return samples;
}

QStringList PulseAudioServer::playingStreams() const {
    const auto inputs = control({"list", "short", "sink-inputs"});
    if (!inputs)
        return {"pactl does not answer"};
    return QString::fromLocal8Bit(*inputs).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace jackwell::testing

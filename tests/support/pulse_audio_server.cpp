#include "support/pulse_audio_server.h"

#include "support/install_when_missing.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstring>
#include <sys/prctl.h>

namespace jackwell::testing {

namespace {

const QString kServer = QStringLiteral("/usr/bin/pulseaudio");
const QString kControl = QStringLiteral("/usr/bin/pactl");
const QString kRecorder = QStringLiteral("/usr/bin/parec");
constexpr int kReadyProbes = 200;
constexpr int kProbeGapMs = 25;
constexpr int kToolTimeoutMs = 5000;

bool installed() {
    for (const QString& program : {kServer, kControl, kRecorder}) {
        if (!QFileInfo(program).isExecutable())
            return false;
    }
    return true;
}

// Should the test program die, the child goes with it.
void tieToParent(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

void end(QProcess& process, int signalFirst) {
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), signalFirst);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

} // namespace

PulseAudioServer::PulseAudioServer() = default;

PulseAudioServer::~PulseAudioServer() {
    stop();
}

bool PulseAudioServer::ensureInstalled(QString* error) {
    return installWhenMissing(installed, QStringLiteral("PulseAudio"), error);
}

std::unique_ptr<QProcess> PulseAudioServer::tool(const QString& program,
                                                 const QStringList& arguments) const {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment_);
    tieToParent(*process);
    process->start(program, arguments);
    return process;
}

bool PulseAudioServer::start(QString* error) {
    if (server_)
        return true;
    if (!ensureInstalled(error))
        return false;
    if (!dir_.isValid()) {
        *error = QStringLiteral("no temporary folder: ") + dir_.errorString();
        return false;
    }
    const QDir dir(dir_.path());
    const QString socket = dir.filePath(QStringLiteral("native"));
    // Only these modules: no sound card, no session bus, no network.
    const QByteArray script =
        QFile::encodeName(QStringLiteral("load-module module-native-protocol-unix "
                                         "auth-anonymous=1 socket=%1\n")
                              .arg(socket)) +
        "load-module module-null-sink sink_name=testsink rate=44100 channels=2 "
        "sink_properties=device.description=TestSink\n"
        "set-default-sink testsink\n";
    QFile config(dir.filePath(QStringLiteral("test.pa")));
    if (!config.open(QIODevice::WriteOnly) || config.write(script) != script.size()) {
        *error = QStringLiteral("cannot write the server's configuration: ") + config.errorString();
        return false;
    }
    config.close();
    dir.mkpath(QStringLiteral("run"));
    QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.insert(QStringLiteral("HOME"), dir.path());
    environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
    environment_.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    environment_.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);

    server_ =
        tool(kServer, {QStringLiteral("-n"), QStringLiteral("-F"), config.fileName(),
                       QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                       QStringLiteral("--use-pid-file=no"), QStringLiteral("--realtime=no"),
                       QStringLiteral("--high-priority=no"),
                       QStringLiteral("--log-target=file:") + dir.filePath("pulse.log"),
                       QStringLiteral("--log-level=notice")});
    if (!server_->waitForStarted(kToolTimeoutMs)) {
        *error = QStringLiteral("PulseAudio did not start: ") + server_->errorString();
        server_.reset();
        return false;
    }
    for (int probe = 0; probe < kReadyProbes; ++probe) {
        // Doubles as the pause between looks, and notices a server that ended.
        if (server_->waitForFinished(kProbeGapMs))
            break;
        auto info = tool(kControl, {QStringLiteral("info")});
        if (info->waitForFinished(kToolTimeoutMs) && info->exitStatus() == QProcess::NormalExit &&
            info->exitCode() == 0) {
            qputenv("PULSE_SERVER", (QStringLiteral("unix:") + socket).toLocal8Bit());
            return true;
        }
    }
    *error = QStringLiteral("PulseAudio does not answer: ") + log();
    stop();
    return false;
}

void PulseAudioServer::stop() {
    stopRecording();
    if (server_)
        end(*server_, SIGTERM);
    server_.reset();
}

bool PulseAudioServer::startRecording(QString* error) {
    stopRecording();
    recordingFile_ =
        QDir(dir_.path()).filePath(QStringLiteral("recording-%1.raw").arg(++recordings_));
    recorder_ = std::make_unique<QProcess>();
    recorder_->setProcessEnvironment(environment_);
    recorder_->setStandardOutputFile(recordingFile_, QIODevice::Truncate);
    recorder_->setStandardErrorFile(QDir(dir_.path()).filePath(QStringLiteral("parec.log")));
    tieToParent(*recorder_);
    // A short latency, so that what was played reaches the file soon.
    recorder_->start(kRecorder,
                     {QStringLiteral("--latency-msec=20"), QStringLiteral("-d"),
                      QStringLiteral("testsink.monitor"), QStringLiteral("--format=s16le"),
                      QStringLiteral("--rate=%1").arg(kRate),
                      QStringLiteral("--channels=%1").arg(kChannels), QStringLiteral("--raw")});
    if (!recorder_->waitForStarted(kToolTimeoutMs)) {
        *error = QStringLiteral("parec did not start: ") + recorder_->errorString();
        recorder_.reset();
        return false;
    }
    // Recording only once its stream is there, so nothing played from now on is missed.
    for (int probe = 0; probe < kReadyProbes; ++probe) {
        if (recorder_->waitForFinished(kProbeGapMs))
            break;
        auto outputs = tool(kControl, {QStringLiteral("list"), QStringLiteral("short"),
                                       QStringLiteral("source-outputs")});
        if (outputs->waitForFinished(kToolTimeoutMs) && !outputs->readAll().trimmed().isEmpty())
            return true;
    }
    *error = QStringLiteral("parec does not record");
    stopRecording();
    return false;
}

void PulseAudioServer::stopRecording() {
    if (recorder_)
        end(*recorder_, SIGINT);
    recorder_.reset();
}

std::vector<qint16> PulseAudioServer::recording() const {
    if (!recorder_)
        return {};
    QFile file(recordingFile_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<qint16> samples(size_t(bytes.size()) / sizeof(qint16));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(qint16));
    return samples;
}

QStringList PulseAudioServer::playingStreams() const {
    auto inputs = tool(
        kControl, {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")});
    if (!inputs->waitForFinished(kToolTimeoutMs))
        return {QStringLiteral("pactl does not answer")};
    return QString::fromLocal8Bit(inputs->readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QString PulseAudioServer::log() const {
    QFile file(QDir(dir_.path()).filePath(QStringLiteral("pulse.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll().right(4000))
                                          : QString();
}

} // namespace jackwell::testing

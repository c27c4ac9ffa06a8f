#pragma once

// A test's server package installed when it is missing, through the project's install script,
// so that a test on a fresh machine installs what it needs exactly as `make test` does.

#include <QProcess>
#include <QString>

#include <functional>

namespace jackwell::testing {

// True when `installed()` holds, running scripts/install-deps.sh first when it does not; else
// false, with `error` naming `what` is missing and the end of what the script said.
inline bool installWhenMissing(const std::function<bool()>& installed, const QString& what,
                               QString* error) {
    constexpr int kInstallTimeoutMs = 600000;
    if (installed())
        return true;
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral("bash"),
                  {QStringLiteral(JACKWELL_SOURCE_DIR "/scripts/install-deps.sh")});
    if (!install.waitForFinished(kInstallTimeoutMs))
        install.kill();
    if (installed())
        return true;
    *error = QStringLiteral("%1 is missing and could not be installed: %2")
                 .arg(what, QString::fromLocal8Bit(install.readAll().right(2000)));
    return false;
}

} // namespace jackwell::testing

// Runs the window tests in a QApplication on the offscreen platform, with their own configuration
// folder. Four screens side by side: the main one 800x600, then 1024x768, 1920x1080, and 1366x768
// at twice the scale (683x384 in the windows' pixels), sorted by name, the first the main one.

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "support/qt_warnings.h"

#include <gtest/gtest.h>

namespace {

QByteArray screensConfig(const QString& folder) {
    const QString path = folder + "/screens.json";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(R"({"screens": [
        {"name": "A 800x600", "x": 0, "y": 0, "width": 800, "height": 600, "dpr": 1},
        {"name": "B 1024x768", "x": 800, "y": 0, "width": 1024, "height": 768, "dpr": 1},
        {"name": "C 1920x1080", "x": 1824, "y": 0, "width": 1920, "height": 1080, "dpr": 1},
        {"name": "D 1366x768 at 2x", "x": 3744, "y": 0, "width": 683, "height": 384, "dpr": 2}]})");
    return ":configfile=" + path.toLocal8Bit();
}

} // namespace

int main(int argc, char** argv) {
    // The user's configuration folder is a fresh one: no test reads or writes the real one.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen" + screensConfig(config.path()));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    jackwell::testing::failOnQtWarnings();
    return RUN_ALL_TESTS();
}

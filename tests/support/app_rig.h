#pragma once

// The whole program offscreen, Form_Load done: the embedded chat world, a virtual
// clock, a recording sound player, dialogs the test answers, and Settings.txt in
// a temporary folder holding `settings` (no file when it is null).

#include "clock/virtual_clock.h"
#include "settings/settings_file.h"
#include "shell/jackwell_app.h"
#include "support/fake_file_chooser.h"
#include "support/fakes.h"
#include "world/chat_world.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jackwell::testing {

struct AppRig {
    QTemporaryDir dir;
    QString settingsPath = dir.filePath(QStringLiteral("Settings.txt"));
    VirtualClock clock;
    FakeSound sound;
    FakeFileChooser files;
    ChatWorld* world = nullptr;
    QStringList problems; // what the program showed the player
    std::unique_ptr<JackwellApp> app;

    explicit AppRig(const QByteArray& settings = serializeSettings(Options{})) {
        if (!settings.isNull())
            writeFile(settingsPath, settings);
        auto makeWorld = [this] {
            auto made = std::make_unique<ChatWorld>();
            world = made.get();
            return made;
        };
        app = std::make_unique<JackwellApp>(
            JackwellApp::Setup{clock, makeWorld, sound, sound, settingsPath, &files});
        QObject::connect(app.get(), &JackwellApp::problem,
                         [this](const QString& message) { problems << message; });
        QString error;
        EXPECT_TRUE(app->Form_Load(&error)) << error.toStdString();
    }

    QByteArray settingsOnDisk() const {
        QFile file(settingsPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // A readable file for the player to choose.
    QString makeFile(const QString& name) const { return writeFile(dir.filePath(name), "RIFF"); }

    static QString writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }
};

} // namespace jackwell::testing

#pragma once

// The whole program offscreen: a chat world (or, with linkOpens false, a chat link that cannot
// open, or with useChatTxt the chat world that a Chat.txt in the temporary folder chooses; a chat
// world is also the embedded one), a virtual clock, a recording sound player, dialogs the test
// answers, and Settings.txt and the preferences in a temporary folder, Settings.txt holding
// `settings` (no file when it is null). startUp runs at once unless the test asks to run it itself.

#include "clock/virtual_clock.h"
#include "settings/settings_file.h"
#include "shell/card_window.h"
#include "shell/jackwell_app.h"
#include "shell/program_dialogs.h"
#include "shell/program_windows.h"
#include "shell/world_choice.h"
#include "support/fake_file_chooser.h"
#include "support/fakes.h"
#include "support/qt_printers.h"
#include "support/test_files.h"
#include "world/chat_world.h"

#include <QTemporaryDir>
#include <QWindow>

#include <gtest/gtest.h>

namespace jackwell::testing {

struct AppRigExtras {
    QString soundsDir = {};          // the program's own sounds
    QString preferencesPath = {};    // default: in the rig's folder
    std::optional<bool> docked = {}; // default: as the platform needs
    bool keepsHistory = false;       // the results seen kept in the rig's folder
    bool realFiles = false;          // Qt's own Open dialog, as in the program, not `files`
};

struct AppRig {
    enum Start { Load, DoNotLoad };
    using Extras = AppRigExtras;
    static inline const QString kRefusal = QStringLiteral("no chat client is running");

    QTemporaryDir dir;
    QString settingsPath = dir.filePath("Settings.txt");
    QString preferencesPath = dir.filePath("Jackwell.conf");
    VirtualClock clock;
    FakeSound sound;
    FakeFileChooser files;
    ChatWorld* world = nullptr;
    bool linkOpens = true;
    bool useChatTxt = false;
    QStringList problems; // what the program showed the player
    std::unique_ptr<JackwellApp> app;

    explicit AppRig(const QByteArray& settings = serializeSettings(Options{}), Start start = Load,
                    Extras extras = {}) {
        if (!settings.isNull())
            writeFile(settingsPath, settings);
        if (!extras.preferencesPath.isEmpty())
            preferencesPath = extras.preferencesPath;
        auto makeBackend = [this]() -> std::unique_ptr<ChatPort> {
            if (useChatTxt)
                return makeDefaultBackend(clock, dir.path());
            if (!linkOpens) {
                auto refusing = std::make_unique<ScriptedBackend>();
                refusing->openResult = false;
                refusing->refusal = kRefusal;
                return refusing;
            }
            return makeWorld();
        };
        auto embedded = [this] { return makeWorld(); };
        app = std::make_unique<JackwellApp>(JackwellApp::Setup{
            clock, makeBackend, sound, sound, settingsPath, extras.realFiles ? nullptr : &files,
            preferencesPath, extras.soundsDir, embedded, dir.filePath("Chat.txt"),
            extras.keepsHistory ? dir.filePath("data") : QString(), extras.docked});
        QObject::connect(app.get(), &JackwellApp::problem,
                         [this](const QString& message) { problems << message; });
        if (start == Load) {
            QString error;
            EXPECT_TRUE(app->startUp(&error)) << error;
        }
    }

    std::unique_ptr<ChatPort> makeWorld() {
        auto made = std::make_unique<ChatWorld>();
        world = made.get();
        return made;
    }
    QByteArray settingsOnDisk() const { return fileBytes(settingsPath); }
    // A readable file for the player to choose.
    QString makeFile(const QString& name) const { return writeFile(dir.filePath(name), "RIFF"); }
    // Whether a window stays on top, asked where the program sets it.
    static bool pinned(QWidget& window) {
        const auto flags =
            window.windowHandle() ? window.windowHandle()->flags() : window.windowFlags();
        return flags.testFlag(Qt::WindowStaysOnTopHint);
    }
};

} // namespace jackwell::testing

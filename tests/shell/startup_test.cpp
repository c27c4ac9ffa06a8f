// Start-up and shutdown: the card comes to rest, the options are read and
// saved, the window is pinned when asked, and a chat link that cannot open
// stops the program before its window shows.

#include "clock/virtual_clock.h"
#include "settings/settings_file.h"
#include "shell/frm_jackwell.h"
#include "shell/jackwell_app.h"
#include "support/fakes.h"
#include "support/qt_printers.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jackwell {
namespace {

using testing::FakeSound;
using testing::ScriptedBackend;

struct Rig {
    QTemporaryDir dir;
    VirtualClock clock;
    FakeSound sound;
    bool openResult = true;
    bool closed = false;
    std::unique_ptr<JackwellApp> app;

    QString settingsPath() const { return dir.filePath("Settings.txt"); }
    void writeSettings(const QByteArray& bytes) {
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray readSettings() const {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool load(QString* error) {
        app = std::make_unique<JackwellApp>(JackwellApp::Setup{
            clock,
            [this] {
                auto backend = std::make_unique<ScriptedBackend>();
                backend->openResult = openResult;
                backend->closed = &closed;
                return backend;
            },
            sound, sound, settingsPath()});
        return app->Form_Load(error);
    }
    bool pinned() const {
        return app->window().windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    }
};

TEST(Startup, bringsTheCardToRestAndOpensTheChatLink) {
    Rig rig;
    QString error;
    ASSERT_TRUE(rig.load(&error)) << error.toStdString();
    const CardState& state = rig.app->card().state;
    for (const Reel& reel : state.reels) {
        EXPECT_FALSE(reel.timer.enabled);
        EXPECT_EQ(reel.timer.interval, 100);
        EXPECT_TRUE(reel.reelPicture.visible);
        EXPECT_FALSE(reel.resultPicture.visible);
    }
    EXPECT_FALSE(state.timer4.enabled);
    EXPECT_TRUE(state.startEnabled);
    EXPECT_TRUE(state.espHoldEnabled);
    EXPECT_FALSE(state.finishEnabled);
    EXPECT_NE(rig.app->chatLibrary().backend(), nullptr);
    EXPECT_FALSE(rig.pinned());
}

TEST(Startup, aChatLinkThatCannotOpenStopsWithTheStartupError) {
    Rig rig;
    rig.openResult = false;
    QString error;
    EXPECT_FALSE(rig.load(&error));
    EXPECT_TRUE(error.contains("10001"));
    EXPECT_TRUE(error.contains("Failed to initialize DDE layer"));
    EXPECT_FALSE(rig.closed); // KillDDE is not called on this path
    EXPECT_FALSE(rig.app->window().isVisible());
}

TEST(Startup, stayOnTopFromTheSettingsFile) {
    struct Row {
        const char* name;
        QByteArray file;
        bool pinned;
    };
    const std::vector<Row> rows = {
        {"ticked", "Check1\r\n1\r\n", true},
        {"ticked among other options", "Text1\r\n\r\nCheck1\r\n 1 \r\nCheck2\r\n 0 \r\n", true},
        {"greyed", "Check1\r\n2\r\n", false},
        {"clear", "Check1\r\n0\r\n", false},
        {"empty file", "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.writeSettings(row.file);
        QString error;
        ASSERT_TRUE(rig.load(&error)) << error.toStdString();
        EXPECT_EQ(rig.pinned(), row.pinned);
    }
}

TEST(Startup, aBrokenSettingsFileStopsStartupNamingItAndIsKept) {
    Rig rig;
    const QByteArray broken = "Check2\r\nplenty\r\n";
    rig.writeSettings(broken);
    QString error;
    EXPECT_FALSE(rig.load(&error));
    EXPECT_TRUE(error.contains(rig.settingsPath())) << error.toStdString();
    EXPECT_EQ(rig.app->chatLibrary().backend(), nullptr); // the link was never opened
    EXPECT_EQ(rig.readSettings(), broken);
}

TEST(Shutdown, closesTheLinkAndSavesTheOptionsEvenWithoutTheOptionsWindow) {
    Rig rig;
    QString error;
    ASSERT_TRUE(rig.load(&error)); // no Settings.txt yet: start-up goes on
    EXPECT_FALSE(QFile::exists(rig.settingsPath()));
    rig.app->options().check2 = 1;
    rig.app->options().text1 = "/sounds/win, loud.wav";
    rig.app->Form_Unload();
    EXPECT_TRUE(rig.closed);
    Options reread;
    ASSERT_EQ(readSettingsFile(rig.settingsPath(), reread).status, SettingsResult::Ok);
    EXPECT_EQ(reread, rig.app->options());
}

} // namespace
} // namespace jackwell

// Where the program finds its own data, beside the executable in the build tree or under
// share/ when installed; where its preferences live; and the preferences themselves.

#include "platform/data_paths.h"
#include "platform/preferences.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jackwell {
namespace {

TEST(DataPaths, theDataFolderIsBesideTheExecutableOrUnderShareWhenInstalled) {
    QTemporaryDir root;
    const QDir top(root.path());
    ASSERT_TRUE(top.mkpath("build/sounds") && top.mkpath("usr/bin") &&
                top.mkpath("usr/share/jackwell/sounds"));
    EXPECT_EQ(jackwellDataDir(top.filePath("build")), top.filePath("build"));
    EXPECT_EQ(jackwellDataDir(top.filePath("usr/bin")), top.filePath("usr/share/jackwell"));
    EXPECT_EQ(bundledSoundsDir(top.filePath("usr/share/jackwell")),
              top.filePath("usr/share/jackwell/sounds"));
}

// The build puts the program's own sounds beside its executables, as they are in assets/.
TEST(DataPaths, theBuildTreeHoldsTheProgramsOwnSounds) {
    const QString sounds = bundledSoundsDir(jackwellDataDir(QStringLiteral(JACKWELL_BINARY_DIR)));
    for (const char* name : {"win.wav", "lose.wav"}) {
        QFile built(QDir(sounds).filePath(name));
        QFile source(QStringLiteral(JACKWELL_SOURCE_DIR "/assets/sounds/") + name);
        ASSERT_TRUE(built.open(QIODevice::ReadOnly)) << name;
        ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << name;
        EXPECT_EQ(built.readAll(), source.readAll()) << name;
    }
}

TEST(DataPaths, thePreferencesLiveInTheUsersConfigurationFolder) {
    QTemporaryDir config;
    const QByteArray before = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    EXPECT_EQ(preferencesFilePath(), QDir(config.path()).filePath("Jackwell/Jackwell.conf"));
    qputenv("XDG_CONFIG_HOME", before);
}

TEST(Preferences, keepTheChatWindowsStateAndPlace) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/Jackwell.conf");
    Preferences preferences(path);
    EXPECT_EQ(preferences.chatWindow(), Preferences::ChatWindow{}); // a first run: open
    EXPECT_TRUE(Preferences::ChatWindow{}.open);
    const Preferences::ChatWindow closed{false, QRect(310, 40, 460, 420)};
    EXPECT_TRUE(preferences.setChatWindow(closed));
    EXPECT_EQ(Preferences(path).chatWindow(), closed);
    EXPECT_TRUE(QFile::exists(path));

    Preferences none{QString()}; // nothing kept, nothing read
    EXPECT_TRUE(none.setChatWindow(closed));
    EXPECT_EQ(none.chatWindow(), Preferences::ChatWindow{});
}

} // namespace
} // namespace jackwell

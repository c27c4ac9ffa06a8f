// The options window as met: sound files good and bad, Stay On Top, sounds at once, saving.

#include "shell/card_window.h"
#include "shell/options_layout.h"
#include "shell/options_window.h"
#include "shell/program_dialogs.h"
#include "shell/program_windows.h"
#include "shell/text_style.h"
#include "support/app_rig.h"
#include "support/qt_printers.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace jackwell {
namespace {

using testing::AppRig;

template <typename Widget = QPushButton>
Widget& control(QWidget& window, const options::Control& which) {
    auto* found = window.findChild<Widget*>(QLatin1String(which.designName));
    if (!found)
        throw std::runtime_error(std::string("no control ") + which.designName);
    return *found;
}

// The room a caption has in its control, as the style lays the control out.
int captionRoom(QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    const bool checkBox = qobject_cast<QCheckBox*>(&button);
    const QRect room = button.style()->subElementRect(
        checkBox ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, &button);
    return room.width();
}

// A window made before Settings.txt is read shows the options read.
TEST(OptionsWindow, madeBeforeTheSettingsAreReadShowsThem) {
    AppRig rig(serializeSettings({{}, {}, CheckState::Clear, CheckState::Ticked}),
               AppRig::DoNotLoad);
    OptionsWindow& options = rig.app->dialogs().optionsWindow();
    QString error;
    ASSERT_TRUE(rig.app->startUp(&error)) << error;
    EXPECT_TRUE(control<QCheckBox>(options, options::kPlayWinSound).isChecked());
}

// The window is "Options", 2010 twips square; every caption shows whole inside its control, in
// the design's 8.25-point font or the one standing in for it (never "Play Winning Sou").
TEST(OptionsWindow, everyCaptionShowsWholeInItsControl) {
    AppRig rig;
    rig.app->dialogs().showOptions();
    OptionsWindow& options = rig.app->dialogs().optionsWindow();
    EXPECT_EQ(options.windowTitle(), "Options");
    EXPECT_EQ(options.toolTip(), "Options"); // whole, where a frame cuts the title
    EXPECT_EQ(options.size(), QSize(134, 134));
    const std::pair<const options::Control&, const char*> rows[] = {
        {options::kStayOnTop, "Stay On Top"},
        {options::kPlayWinSound, "Play Winning Sound"},
        {options::kPlayLoseSound, "Play Lossing Sound"},
        {options::kClose, "Close"},
        {options::kChooseWinSound, "Select Sound"},
        {options::kChooseLoseSound, "Select Sound"},
    };
    for (const auto& [which, caption] : rows) {
        SCOPED_TRACE(which.designName);
        auto& button = control<QAbstractButton>(options, which);
        EXPECT_EQ(button.text(), caption);
        EXPECT_DOUBLE_EQ(button.font().pointSizeF(), 8.25);
        EXPECT_LE(button.fontMetrics().horizontalAdvance(button.text()), captionRoom(button))
            << button.font().family() << " " << button.font().stretch();
        // A caption that fits in the design's font is not narrowed.
        const QFont natural = cardFont(8.25, false);
        if (QFontMetrics(natural).horizontalAdvance(caption) <= captionRoom(button)) {
            EXPECT_EQ(button.font().stretch(), natural.stretch());
        }
        EXPECT_TRUE(options.rect().contains(button.geometry()));
    }
    // Where only a wide font is at hand, a caption is narrowed until it fits its room.
    const QFont wide("DejaVu Sans", 9, QFont::Bold);
    const QString caption = "Play Lossing Sound";
    const int natural = QFontMetrics(wide).horizontalAdvance(caption);
    ASSERT_GT(natural, 102);
    EXPECT_LE(QFontMetrics(fittedFont(wide, caption, 102)).horizontalAdvance(caption), 102);
    EXPECT_EQ(fittedFont(wide, caption, natural), wide) << "one that just fits keeps its font";
    EXPECT_EQ(fittedFont(wide, caption, 1).stretch(), 75) << "never under three quarters";
}

// A chosen file is taken only when it can be read; else the box stays and says which file failed.
TEST(OptionsWindow, selectSoundTakesOnlyAReadableFile) {
    // What the player chooses ("@": a readable file the test makes), and whether it is taken.
    const std::tuple<const char*, QString, bool> rows[] = {
        {"cancelled", "", false},
        {"readable file", "@", true},
        {"no such file", "/nonexistent/win.wav", false},
        {"a folder", "/", false}};
    for (const auto& [name, choice, taken] : rows) {
        for (const bool winning : {true, false}) {
            const options::Control& button =
                winning ? options::kChooseWinSound : options::kChooseLoseSound;
            SCOPED_TRACE(std::string(name) + " via " + button.designName);
            AppRig rig;
            QString& option =
                winning ? rig.app->options().winSoundFile : rig.app->options().loseSoundFile;
            option = "old.wav";
            rig.app->dialogs().showOptions();
            OptionsWindow& options = rig.app->dialogs().optionsWindow();
            control(options, button).click();
            ASSERT_EQ(rig.files.open.size(), 1u);
            EXPECT_EQ(rig.files.open.front().filter, "Wav Files (*.wav)");
            const QString chosen = choice == "@" ? rig.makeFile("sound.wav") : choice;
            rig.files.answer(chosen);
            const QString expected = taken ? chosen : "old.wav";
            EXPECT_EQ(option, expected);
            EXPECT_EQ(control<QLineEdit>(options,
                                         winning ? options::kWinSoundPath : options::kLoseSoundPath)
                          .text(),
                      expected);
            EXPECT_EQ(control(options, button).toolTip(), expected);
            const bool problem = !taken && !chosen.isEmpty();
            EXPECT_EQ(rig.problems.size(), problem ? 1 : 0);
            EXPECT_EQ(problem, !rig.problems.isEmpty() && rig.problems[0].contains(chosen))
                << rig.problems.size();
        }
    }
}

// Select Sound opens in the chosen file's folder, else in the program's sounds (none, or gone).
TEST(OptionsWindow, selectSoundOpensWhereTheSoundIs) {
    QTemporaryDir data;
    AppRig rig(serializeSettings(Options{}), AppRig::Load, {data.path()});
    const QString mine = rig.makeFile("mine.wav");
    const std::tuple<QString, QString> rows[] = {{"", data.path()},
                                                 {mine, QFileInfo(mine).absolutePath()},
                                                 {"/nonexistent/old.wav", data.path()}};
    for (const auto& [current, folder] : rows) {
        rig.app->options().loseSoundFile = current;
        control(rig.app->dialogs().optionsWindow(), options::kChooseLoseSound).click();
        ASSERT_EQ(rig.files.open.size(), 1u);
        EXPECT_EQ(rig.files.open.front().folder, folder) << current;
        rig.files.answer(QString());
    }
    AppRig program(serializeSettings(Options{}), AppRig::Load, {.realFiles = true});
    control(program.app->dialogs().optionsWindow(), options::kChooseLoseSound).click();
    const auto* open = program.app->dialogs().optionsWindow().findChild<QFileDialog*>();
    EXPECT_TRUE(open && open->isVisible()) << "the program's own Open dialog";
}

// Stay On Top pins and frees the main window at once, in place, never the options; greyed, nothing.
TEST(OptionsWindow, stayOnTopPinsAndReleasesTheMainWindowInPlace) {
    AppRig rig(serializeSettings(Options{{}, {}, CheckState::Greyed, {}, CheckState::Greyed}));
    CardWindow& main = rig.app->windows().card();
    main.show();
    const QRect place = main.geometry();
    EXPECT_FALSE(AppRig::pinned(main));
    rig.app->dialogs().showOptions();
    OptionsWindow& options = rig.app->dialogs().optionsWindow();
    QCheckBox& stayOnTop = control<QCheckBox>(options, options::kStayOnTop);
    EXPECT_EQ(stayOnTop.checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(control<QCheckBox>(options, options::kPlayLoseSound).checkState(),
              Qt::PartiallyChecked);
    for (bool expected : {false, true, false, true}) {
        stayOnTop.click(); // greyed -> clear -> ticked -> clear -> ticked
        EXPECT_EQ(rig.app->options().stayOnTop, expected ? CheckState::Ticked : CheckState::Clear);
        EXPECT_EQ(AppRig::pinned(main), expected);
        EXPECT_EQ(main.geometry(), place);
        EXPECT_TRUE(main.isVisible() && !AppRig::pinned(options));
    }
    rig.app->options().stayOnTop = CheckState::Greyed;
    rig.app->applyStayOnTop();
    EXPECT_TRUE(AppRig::pinned(main));
}

// A sound ticked and chosen now plays at the next result, before "Close" writes the file.
TEST(OptionsWindow, soundChosenNowPlaysAtTheNextResultBeforeClose) {
    using Control = const options::Control&;
    const std::tuple<const char*, Control, Control> rows[] = {
        {"ESP from Rivet: FINAL: | 14 | 03 | 07 | Credits: (99)", options::kPlayWinSound,
         options::kChooseWinSound},
        {"ESP from Rivet: FINAL: | 01 | 03 | 07 | Credits: (98)", options::kPlayLoseSound,
         options::kChooseLoseSound}};
    for (const auto& [finalLine, box, button] : rows) {
        SCOPED_TRACE(box.designName);
        AppRig rig;
        const QByteArray before = rig.settingsOnDisk();
        rig.app->dialogs().showOptions();
        control<QCheckBox>(rig.app->dialogs().optionsWindow(), box).click();
        control(rig.app->dialogs().optionsWindow(), button).click();
        const QString sound = rig.makeFile("chosen.wav");
        rig.files.answer(sound);
        rig.app->card().state.machineKeeperName = "Rivet";
        rig.app->card().sendHolds(); // ESP HOLD arms FINISH
        rig.world->appendLine(QString::fromLatin1(finalLine));
        rig.app->card().finish(); // FINISH
        rig.clock.advance(8000);
        ASSERT_EQ(rig.sound.played.size(), 1u);
        EXPECT_EQ(rig.sound.played[0].file, sound);
        EXPECT_EQ(rig.settingsOnDisk(), before);
    }
}

// "Close", the title bar and shutdown each write the file; the window keeps its values.
TEST(OptionsWindow, closingWritesTheSettingsFile) {
    const Options stored{"/s/win.wav", "/s/lose.wav", CheckState::Clear, CheckState::Ticked,
                         CheckState::Clear};
    {
        SCOPED_TRACE("Close rewrites the same file; the title bar saves what changed");
        AppRig rig(serializeSettings(stored));
        const QDateTime old = QDateTime::currentDateTime().addDays(-1);
        QFile(rig.settingsPath).setFileTime(old, QFileDevice::FileModificationTime);
        emit rig.app->windows().card().optionsRequested();
        OptionsWindow& options = rig.app->dialogs().optionsWindow();
        EXPECT_TRUE(options.isVisible() && options.parentWidget() == nullptr);
        control(options, options::kClose).click();
        EXPECT_FALSE(options.isVisible());
        EXPECT_EQ(rig.settingsOnDisk(), serializeSettings(stored));
        EXPECT_GT(QFileInfo(rig.settingsPath).lastModified(), old);

        rig.app->dialogs().showOptions();
        control<QCheckBox>(options, options::kPlayLoseSound).click();
        options.close();
        EXPECT_FALSE(options.isVisible());
        rig.app->dialogs().showOptions();
        EXPECT_EQ(control<QCheckBox>(options, options::kPlayWinSound).checkState(), Qt::Checked);
        EXPECT_EQ(control<QCheckBox>(options, options::kPlayLoseSound).checkState(), Qt::Checked);
        EXPECT_EQ(control<QLineEdit>(options, options::kWinSoundPath).text(), stored.winSoundFile);
        Options expected = stored;
        expected.playLoseSound = CheckState::Ticked;
        EXPECT_EQ(rig.settingsOnDisk(), serializeSettings(expected));
    }
    {
        SCOPED_TRACE("a file that cannot be written is shown and the program goes on");
        AppRig rig{QByteArray()};
        ASSERT_TRUE(QDir(rig.dir.path()).mkdir("Settings.txt")); // in the way
        rig.app->dialogs().showOptions();
        control(rig.app->dialogs().optionsWindow(), options::kClose).click();
        EXPECT_FALSE(rig.app->dialogs().optionsWindow().isVisible());
        EXPECT_EQ(rig.problems.size(), 1);
    }
}

} // namespace
} // namespace jackwell

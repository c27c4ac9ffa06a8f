// The picture-test corner beyond the main window's right edge: its image dialog only checks that a
// file can be read; its second button, with no picture, leaves the box as it is, the program on.

#include "shell/picture_test_corner.h"
#include "shell/pictures.h"
#include "shell/program_dialogs.h"
#include "shell/program_windows.h"
#include "support/app_rig.h"
#include "support/qt_printers.h"

#include <QLabel>
#include <QPushButton>

namespace jackwell {
namespace {

TEST(PictureTestCorner, buttonsLeaveThePictureAndReportOnlyUnreadableFiles) {
    for (QString chosen : {QString(), QStringLiteral("@"), QStringLiteral("/nonexistent/a.bmp")}) {
        SCOPED_TRACE(chosen.toStdString());
        testing::AppRig rig;
        QWidget& main = rig.app->windows().card();
        const QLabel& picture = rig.app->dialogs().pictureTestCorner().pictureBox();
        EXPECT_GE(picture.x(), main.width()); // out of sight, yet named for a screen reader
        EXPECT_EQ(picture.accessibleName(), "Picture test");
        const QImage before = picture.pixmap().toImage();
        const QImage symbol4 = renderSvg(":/assets/symbols/04.svg", picture.size()).toImage();
        EXPECT_TRUE(before == symbol4 && !before.allGray()); // symbol 4 is drawn, in colour
        main.findChild<QPushButton*>(card::kCornerChooseButtonName)->click();
        ASSERT_EQ(rig.files.open.size(), 1u);
        EXPECT_EQ(rig.files.open.front().filter, "Image Files (*.bmp *.jpg *.gif)");
        if (chosen == "@")
            chosen = rig.makeFile("picture.bmp");
        rig.files.answer(chosen);
        main.findChild<QPushButton*>(card::kCornerShowButtonName)->click();
        EXPECT_EQ(picture.pixmap().toImage(), before);
        const bool problem = chosen.startsWith(QStringLiteral("/nonexistent"));
        EXPECT_EQ(rig.problems.size(), problem ? 1 : 0);
        EXPECT_EQ(problem, !rig.problems.isEmpty() && rig.problems[0].contains(chosen));
    }
}

} // namespace
} // namespace jackwell

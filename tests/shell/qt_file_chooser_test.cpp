// The real Open dialog: window-modal, unblocking, the file or nothing; silent once its parent goes.

#include "shell/qt_file_chooser.h"
#include "support/qt_printers.h"

#include <QFileDialog>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace jackwell {
namespace {

TEST(QtFileChooser, answersFromTheFinishedSignalWithoutBlocking) {
    QTemporaryDir dir;
    const QString wave = dir.filePath("win.wav");
    ASSERT_TRUE(QFile(wave).open(QIODevice::WriteOnly));
    enum Ending { Accept, Cancel, ParentGone };
    for (Ending ending : {Accept, Cancel, ParentGone}) {
        SCOPED_TRACE(int(ending));
        auto parent = std::make_unique<QWidget>();
        QtFileChooser chooser;
        std::optional<QString> answer;
        chooser.chooseFile(parent.get(), "Open", "Wav Files (*.wav)", dir.path(),
                           [&](const QString& chosen) { answer = chosen; });
        QDialog* dialog = parent->findChild<QFileDialog*>();
        ASSERT_TRUE(dialog && dialog->isVisible()); // shown, and back here: nothing blocked
        EXPECT_EQ(static_cast<QFileDialog*>(dialog)->directory().absolutePath(),
                  QDir(dir.path()).absolutePath()); // opened in the folder asked for
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        EXPECT_EQ(static_cast<QFileDialog*>(dialog)->fileMode(), QFileDialog::ExistingFile);
        if (ending == Accept) {
            static_cast<QFileDialog*>(dialog)->selectFile(wave);
            dialog->accept(); // as the Open button does
        }
        if (ending == Cancel)
            dialog->reject();
        if (ending == ParentGone)
            parent.reset();
        const std::optional<QString> expected[] = {wave, QString(), std::nullopt};
        EXPECT_EQ(answer, expected[ending]);
    }
}

} // namespace
} // namespace jackwell

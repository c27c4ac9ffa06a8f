#include "shell/qt_file_chooser.h"

#include <QFileDialog>

namespace jackwell {

void QtFileChooser::chooseFile(QWidget* parent, const QString& title, const QString& filter,
                               const QString& folder, Done done) {
    // A child of parent, so it closes and goes with it: `done` then never runs.
    auto* dialog = new QFileDialog(parent, title, folder, filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    QObject::connect(
        dialog, &QFileDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
            const QStringList chosen = dialog->selectedFiles();
            // A copy, because what `done` does may take the dialog down with it.
            const Done run = done;
            run(result == QDialog::Accepted && !chosen.isEmpty() ? chosen.first() : QString());
        });
    dialog->open();
}

} // namespace jackwell

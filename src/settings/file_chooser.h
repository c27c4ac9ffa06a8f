#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace jackwell {

// An Open dialog for one existing file. The dialog is modal to `parent`'s window
// only and never blocks the event loop: the caller goes on at once and `done`
// runs later, from the event loop, with the chosen file's path or with an empty
// text when the player cancelled. `done` runs at most once, and never after
// `parent` is gone.
class FileChooser {
public:
    using Done = std::function<void(const QString& chosenOrEmpty)>;

    virtual ~FileChooser() = default;
    // `filter` is a Qt name filter such as "Wav Files (*.wav)"; the dialog opens in
    // `folder`, or where the platform chooses when it is empty.
    virtual void chooseFile(QWidget* parent, const QString& title, const QString& filter,
                            const QString& folder, Done done) = 0;
};

// The caption of every Open dialog the program shows.
inline QString openDialogTitle() {
    return QStringLiteral("Open");
}

} // namespace jackwell

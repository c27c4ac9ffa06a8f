#pragma once

#include "settings/file_chooser.h"

namespace jackwell {

// The platform's Open dialog, shown with open(): modal to its parent's window,
// while the event loop, the card's timers and the chat link keep running.
class QtFileChooser final : public FileChooser {
public:
    void chooseFile(QWidget* parent, const QString& title, const QString& filter,
                    const QString& folder, Done done) override;
};

} // namespace jackwell

#pragma once

// Open dialogs a test answers: each waits until the test says what the player chose; no real one.

#include "settings/file_chooser.h"

#include <QPointer>
#include <QWidget>

#include <deque>

namespace jackwell::testing {

class FakeFileChooser final : public FileChooser {
public:
    struct Request {
        QPointer<QWidget> parent;
        QString title;
        QString filter;
        QString folder;
        Done done;
    };
    std::deque<Request> open; // oldest first

    void chooseFile(QWidget* parent, const QString& title, const QString& filter,
                    const QString& folder, Done done) override {
        open.push_back({parent, title, filter, folder, std::move(done)});
    }
    // The player closes the oldest dialog with a file, or with Cancel when
    // `chosen` is empty. Like the real dialog, nothing runs once its parent is gone.
    void answer(const QString& chosen) {
        Request request = std::move(open.front());
        open.pop_front();
        if (request.parent)
            request.done(chosen);
    }
};

} // namespace jackwell::testing

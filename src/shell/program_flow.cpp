#include "shell/program_flow.h"

#include "platform/stop_signals.h"
#include "shell/card_window.h"
#include "shell/jackwell_app.h"

#include <QMessageBox>

#include <cstdio>

namespace jackwell {

namespace {

void toStderr(const QString& text) {
    if (!text.isEmpty())
        std::fprintf(stderr, "jackwell: %s\n", qPrintable(QString(text).replace(u'\n', u' ')));
}

} // namespace

ProgramFlow::ProgramFlow(JackwellApp& app)
    : app_(app) {}

ProgramFlow::~ProgramFlow() {
    delete lastWord_;
}

void ProgramFlow::start() {
    QString error, detail;
    if (!app_.startUp(&error, &detail)) {
        endWith(1, error, detail);
        return;
    }
    connect(&app_.window(), &CardWindow::closing, this, &ProgramFlow::cardClosed);
    app_.showWindows();
}

bool ProgramFlow::stopOnSignals() {
    return installStopSignals([self = QPointer<ProgramFlow>(this)] {
        if (self)
            self->stopBySystem();
    });
}

void ProgramFlow::stopBySystem() {
    stoppedBySystem_ = true;
    if (lastWord_) { // nobody will confirm it now; it is on stderr already
        lastWord_->hide();
        emit finished(exitCode_);
        return;
    }
    if (!ending_)
        app_.window().close();
}

void ProgramFlow::cardClosed() {
    if (ending_)
        return;
    const QString saveFailure = app_.shutDown();
    if (saveFailure.isEmpty()) {
        ending_ = true;
        emit finished(0);
        return;
    }
    endWith(1, saveFailure);
}

void ProgramFlow::endWith(int exitCode, const QString& message, const QString& detail) {
    ending_ = true;
    exitCode_ = exitCode;
    toStderr(message);
    toStderr(detail);
    if (stoppedBySystem_) {
        emit finished(exitCode);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Jackwell"), message);
    box->setDetailedText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, exitCode] { emit finished(exitCode); });
    lastWord_ = box;
    box->open();
}

} // namespace jackwell

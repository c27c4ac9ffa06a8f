#include "shell/program_flow.h"

#include "platform/stop_signals.h"
#include "shell/card_window.h"
#include "shell/jackwell_app.h"
#include "shell/program_windows.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <cstdio>
#include <utility>
#include <vector>

namespace jackwell {

namespace {

void toStderr(const QString& text) {
    if (!text.isEmpty())
        std::fprintf(stderr, "jackwell: %s\n", qPrintable(QString(text).replace(u'\n', u' ')));
}

void openInDesktop(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace

const QString ProgramFlow::kPlayEmbedded = QStringLiteral("Play in the embedded world");
const QString ProgramFlow::kOpenChatConfig = QStringLiteral("Open Chat.txt");
const QString ProgramFlow::kStartWithDefaults = QStringLiteral("Start with defaults");
const QString ProgramFlow::kQuit = QStringLiteral("Quit");

ProgramFlow::ProgramFlow(JackwellApp& app)
    : app_(app) {}

ProgramFlow::~ProgramFlow() {
    delete lastWord_;
}

void ProgramFlow::start() {
    QString error, reason;
    if (!app_.startUp(&error, &reason)) {
        startFailed(error, reason);
        return;
    }
    showCard();
}

void ProgramFlow::showCard() {
    connect(&app_.windows().card(), &CardWindow::closing, this, &ProgramFlow::cardClosed,
            Qt::UniqueConnection);
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
        lastWord_ = nullptr; // a second stop finds it gone
        emit finished(exitCode_);
        return;
    }
    if (!ending_)
        app_.windows().card().close();
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

QMessageBox* ProgramFlow::openBox(const QString& message, const QString& reason) {
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Jackwell"), message);
    box->setInformativeText(reason);
    box->setAttribute(Qt::WA_DeleteOnClose);
    lastWord_ = box;
    return box;
}

// The box stays until the player chooses; closing it quits.
void ProgramFlow::startFailed(const QString& message, const QString& reason) {
    exitCode_ = 1;
    toStderr(message);
    toStderr(reason);
    if (stoppedBySystem_) {
        ending_ = true; // before the card was ever shown
        emit finished(exitCode_);
        return;
    }
    std::vector<std::pair<QPushButton*, Choice>> choices;
    QMessageBox* box = openBox(message, reason);
    const auto offer = [&](const QString& text, QMessageBox::ButtonRole role, Choice choice) {
        choices.emplace_back(box->addButton(text, role), choice);
    };
    if (app_.startFailure() == JackwellApp::StartFailure::Settings) {
        box->setInformativeText(
            QStringLiteral("\"%1\" keeps the file beside it, as %2.broken, "
                           "and starts with the options of a first run.")
                .arg(kStartWithDefaults, QFileInfo(app_.settingsPath()).fileName()));
        offer(kStartWithDefaults, QMessageBox::AcceptRole, Choice::StartWithDefaults);
    } else if (app_.startFailure() == JackwellApp::StartFailure::ChatLink) {
        if (app_.canPlayInEmbeddedWorld())
            offer(kPlayEmbedded, QMessageBox::AcceptRole, Choice::PlayEmbedded);
        if (!app_.chatConfigFile().isEmpty())
            offer(kOpenChatConfig, QMessageBox::ActionRole, Choice::OpenChatConfig);
    }
    offer(kQuit, QMessageBox::RejectRole, Choice::Quit);
    // Return and Esc quit: the other ways on change what the player has (the embedded world
    // instead of theirs, their Settings.txt moved aside), so they take a click of their own.
    box->setDefaultButton(choices.back().first);
    box->setEscapeButton(choices.back().first);
    connect(box, &QMessageBox::finished, this, [this, box, choices, message, reason] {
        Choice choice = Choice::Quit;
        for (const auto& [button, offered] : choices) {
            if (box->clickedButton() == button)
                choice = offered;
        }
        chosen(choice, message, reason);
    });
    box->open();
}

void ProgramFlow::chosen(Choice choice, const QString& message, const QString& reason) {
    // Answered, the box is no longer what the program waits on, though Qt deletes it only on the
    // next turn of the loop: a stop in between closes the card as at any other time.
    lastWord_ = nullptr;
    QString error, detail, keptAs;
    switch (choice) {
    case Choice::Quit:
        ending_ = true;
        emit finished(exitCode_);
        return;
    case Choice::OpenChatConfig:
        openInDesktop(app_.chatConfigFile()); // the player's own program for it
        startFailed(message, reason);         // the choice is still the player's
        return;
    case Choice::PlayEmbedded:
        if (!app_.startInEmbeddedWorld(&error, &detail)) {
            startFailed(error, detail);
            return;
        }
        break;
    case Choice::StartWithDefaults:
        if (!app_.startWithDefaultSettings(&keptAs, &error, &detail)) {
            startFailed(error, detail);
            return;
        }
        toStderr(QStringLiteral("started with the default options; the file that could not be "
                                "read is kept as %1")
                     .arg(keptAs));
        break;
    }
    showCard();
}

void ProgramFlow::endWith(int exitCode, const QString& message) {
    ending_ = true;
    exitCode_ = exitCode;
    toStderr(message);
    if (stoppedBySystem_) { // at a logout nobody is there to read it
        emit finished(exitCode);
        return;
    }
    QMessageBox* box = openBox(message, {});
    connect(box, &QMessageBox::finished, this, [this, exitCode] { emit finished(exitCode); });
    box->open();
}

} // namespace jackwell

#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QMessageBox;

namespace jackwell {

class JackwellApp;

// The program's course from start-up to its end, between main()'s application
// and its event loop: the card is shown once start-up has succeeded, and the
// program ends when the card is closed. A message the program ends on (options
// that could not be saved at the end) goes to stderr and stays on the screen
// until the player has confirmed it; only then is the program over. Every
// message box is opened without a nested event loop.
//
// A start-up that failed says why in the message itself and offers what the
// player can do about it: a Settings.txt that cannot be read may be set aside to
// start with the defaults; a chat link that did not open leaves the choice of
// the embedded world, or of opening Chat.txt to mend it. Quit ends the program,
// and so do Return and Esc: the other choices are taken only with a click of their own.
class ProgramFlow : public QObject {
    Q_OBJECT

public:
    // The app must outlive the flow.
    explicit ProgramFlow(JackwellApp& app);
    ~ProgramFlow() override;

    // Start-up: shows the card, or shows why it cannot start.
    void start();
    // A stop asked by the system (SIGTERM, SIGINT, SIGHUP): the card closes as
    // if the player had closed it, but no one is there to confirm a message, so
    // one goes to stderr only and the program ends at once.
    void stopBySystem();
    // Turns those signals into stopBySystem(); false when they cannot be caught.
    bool stopOnSignals();

    // The choices a failed start-up offers, as its buttons read.
    static const QString kPlayEmbedded;
    static const QString kOpenChatConfig;
    static const QString kStartWithDefaults;
    static const QString kQuit;

signals:
    // The program is over; main() leaves its event loop with this exit code.
    void finished(int exitCode);

private:
    enum class Choice { Quit, PlayEmbedded, OpenChatConfig, StartWithDefaults };

    void showCard();
    void cardClosed();
    // Tells the player (and stderr) why start-up failed, and what can be done.
    void startFailed(const QString& message, const QString& reason);
    void chosen(Choice choice, const QString& message, const QString& reason);
    // Tells the player (and stderr) and ends with exitCode once the player
    // has confirmed, or at once when no one is there to confirm.
    void endWith(int exitCode, const QString& message);
    QMessageBox* openBox(const QString& message, const QString& reason);

    JackwellApp& app_;
    bool stoppedBySystem_ = false;
    bool ending_ = false;
    int exitCode_ = 0;
    QPointer<QMessageBox> lastWord_; // the message the program waits on, while it is open
};

} // namespace jackwell

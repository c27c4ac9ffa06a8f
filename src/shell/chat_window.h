#pragma once

#include "chatview/chat_session.h"
#include "shell/card_layout.h"
#include "shell/chat_log_view.h"

#include <QPoint>
#include <QWidget>

#include <deque>
#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace jackwell {

class Alarm;

// The chat window beside the card: the chat text as it grows, its kinds of lines told apart at
// a glance (private from and to, public, system; the player's own lines and the
// machinekeeper's marked), a line to type into, and how the chat link stands. What each line
// is and where typed text goes is the session's; this window only shows and forwards.
//
// Lines are only ever appended, once a frame however fast they come, and the window keeps the
// last kMaxLines of them, kMaxChars characters at most (see ChatLogView); it follows the end
// unless the player has scrolled back. Appending lays out nothing but what comes into view;
// lines that come while the window is hidden wait, as many as it would hold, and go in together
// when it is shown. So a flood costs the window little per line, and the chat link goes on
// reading. The whole chat text stays with the chat library; the window keeps what a player
// scrolls back through (kMaxLines of it come to about 16 MB). Outside its typing line the card's
// keys work here as on the card; Return there goes to the typing line, and Esc in the typing
// line leaves it. Shown, it leaves the keyboard where it was.
class ChatWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxLines = ChatLogView::kMaxLines;
    static constexpr qsizetype kMaxChars = ChatLogView::kMaxChars;
    // How often the lines that came meanwhile go in.
    static constexpr int kFrameMs = 16;

    // The session must outlive the window.
    explicit ChatWindow(ChatSession& session, QWidget* parent = nullptr);
    ~ChatWindow() override;

    void appendLine(const ChatSession::Line& line);
    // A held-back draw shown whole (ChatSession::Sink::lineRevealed).
    void revealLine(int heldDraw, const ChatSession::Line& line);
    void setStatus(const QString& text);
    QString statusText() const;

    // Whether the view stays at the newest line as lines arrive.
    bool followsEnd() const { return followEnd_; }
    QPlainTextEdit* logView() const { return log_; }
    QLineEdit* typingLine() const { return input_; }

signals:
    // A card key pressed outside the typing line.
    void cardKeyPressed(CardAction action);
    // The player closed the window (it is hidden, not destroyed).
    void closedByPlayer();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void insertWaiting();
    void submit();
    void showQuery();
    bool forwardCardKey(QKeyEvent* event);

    ChatSession& session_;
    QLabel* status_;
    QPlainTextEdit* log_;
    QLineEdit* input_;
    std::unique_ptr<ChatLogView> lines_;
    std::unique_ptr<Alarm> frame_;
    bool followEnd_ = true;
    QPoint pressedAt_;
    // Lines not yet in the view, at most kMaxLines of them and kMaxChars characters.
    std::deque<ChatSession::Line> waiting_;
    qsizetype waitingChars_ = 0;
};

} // namespace jackwell

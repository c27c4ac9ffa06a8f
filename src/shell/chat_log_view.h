#pragma once

#include "chatview/chat_session.h"

#include <QPoint>
#include <QStringList>
#include <QTextCursor>

#include <deque>

class QPlainTextEdit;

namespace jackwell {

// What the chat window's text view holds: the lines as they came, each one block in its kind's
// look, with the symbols' pictures beside a protocol line's codes; each server greeting folded
// into one block that a click opens and closes. It holds at most kMaxLines blocks and kMaxChars
// characters, the oldest going first, so that neither many lines nor long ones can make it
// grow without bound.
class ChatLogView {
public:
    static constexpr int kMaxLines = 10'000;
    static constexpr qsizetype kMaxChars = 2'000'000;
    // The greetings that can still be opened (the newest), and how many of a greeting's lines
    // each keeps to show.
    static constexpr int kMaxFolds = 50;
    static constexpr int kMaxFoldLines = 300;

    // The characters `line` takes in the view: its text, its pictures and its line end.
    static qsizetype charsOf(const ChatSession::Line& line);

    // The view must outlive this.
    explicit ChatLogView(QPlainTextEdit& view);

    // Appends `lines` at the end in one edit, first making room for them at the top.
    void append(const std::deque<ChatSession::Line>& lines);
    // Shows `line` whole in the block that stood for it while it was held back (see
    // ChatSession::Line::heldDraw), if that block is still there.
    void reveal(int heldDraw, const ChatSession::Line& line);
    // A click at `pos` (in the view's viewport) on a greeting's first line opens or closes it;
    // true when it did.
    bool toggleFoldAt(QPoint pos);

private:
    struct Fold {
        int id;
        int greeting;
        QTextCursor at; // the fold's block; moves on when the block is cut from the top
        QStringList lines;
        qsizetype total = 0;
        bool open = false;
        bool changed = false; // lines came that its block does not count yet
    };

    void makeRoom(qsizetype blocks, qsizetype chars);
    void insertLine(QTextCursor& cursor, const ChatSession::Line& line);
    void writeLine(QTextCursor& cursor, const ChatSession::Line& line);
    void addToFold(QTextCursor& cursor, const ChatSession::Line& line);
    Fold* liveFold(int greeting);
    void showFold(Fold& fold);
    bool isLive(const Fold& fold) const;

    QPlainTextEdit& view_;
    std::deque<Fold> folds_;
    int nextFoldId_ = 1;
};

} // namespace jackwell

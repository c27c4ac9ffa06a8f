#include "shell/chat_log_view.h"

#include "shell/symbol_text_object.h"

#include <QPlainTextEdit>
#include <QTextBlock>

namespace jackwell {

namespace {

// The looks of the kinds of lines.
const QColor kPrivateFromColour(0x7a, 0x1f, 0x7a);
const QColor kPrivateToColour(0x1f, 0x5f, 0x35);
const QColor kPublicNameColour(0x1f, 0x3f, 0x7a);
const QColor kSystemColour(0x70, 0x70, 0x70);
const QColor kOwnBackground(0xe6, 0xf0, 0xfb);
const QColor kKeeperBackground(0xff, 0xf1, 0xc9);
const QColor kKeeperNameColour(0x8a, 0x4b, 0x00);
const QColor kCardColour(0x0b, 0x5d, 0x1e);
const QColor kCardBackground(0xe3, 0xf5, 0xe1);

const QString kSystemHead = QStringLiteral("<system>: ");
const QString kFoldIndent = QStringLiteral("    ");

// A held-back draw's block is known by a state no fold takes (folds count up from 1).
int heldDrawState(int heldDraw) {
    return -1 - heldDraw;
}

QColor headColour(const ChatLineLook& look) {
    if (look.keeper && look.kind != ChatLineKind::PrivateTo)
        return kKeeperNameColour;
    switch (look.kind) {
    case ChatLineKind::PrivateFrom:
        return kPrivateFromColour;
    case ChatLineKind::PrivateTo:
        return kPrivateToColour;
    case ChatLineKind::System:
        return kSystemColour;
    case ChatLineKind::Card:
        return kCardColour;
    case ChatLineKind::Public:
        break;
    }
    return kPublicNameColour;
}

QTextCharFormat systemFormat() {
    QTextCharFormat format;
    format.setForeground(kSystemColour);
    format.setFontItalic(true);
    return format;
}

// Where the line's head (its kind and speaker, up to the first ": ") ends.
qsizetype headLength(const QString& text) {
    const qsizetype end = text.indexOf(QStringLiteral(": "));
    return end < 0 ? 0 : end + 2;
}

QString foldHead(qsizetype lines, bool open) {
    return kSystemHead + (open ? QStringLiteral("\u25BE ") : QStringLiteral("\u25B8 ")) +
           QStringLiteral("The server's greeting, %1 %2 (click to %3)")
               .arg(lines)
               .arg(lines == 1 ? QStringLiteral("line") : QStringLiteral("lines"),
                    open ? QStringLiteral("close") : QStringLiteral("open"));
}

} // namespace

qsizetype ChatLogView::charsOf(const ChatSession::Line& line) {
    return line.text.size() + qsizetype(line.pictures.size()) + 1;
}

ChatLogView::ChatLogView(QPlainTextEdit& view)
    : view_(view) {
    // Lines beyond the most go from the top as new ones come in; the document then reclaims
    // their text now and then (a text removed in any other way it would keep).
    view_.setMaximumBlockCount(kMaxLines);
    SymbolTextObject::registerWith(*view_.document());
}

// The new lines go in at the end in one edit, inside which the cursor lays nothing out; it only
// ever jumps (a moving cursor lays out each line it passes). Room is made first, by one cut
// from the top, so that the view hears of two small changes, never of one that spans the whole
// text (which it would lay out anew).
void ChatLogView::append(const std::deque<ChatSession::Line>& lines) {
    if (lines.empty())
        return;
    qsizetype chars = 0;
    for (const ChatSession::Line& line : lines)
        chars += charsOf(line);
    makeRoom(qsizetype(lines.size()), chars);
    QTextDocument* document = view_.document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (const ChatSession::Line& line : lines) {
        if (line.greeting > 0)
            addToFold(cursor, line);
        else
            insertLine(cursor, line);
    }
    for (Fold& fold : folds_) {
        if (std::exchange(fold.changed, false))
            showFold(fold);
    }
    cursor.endEditBlock();
}

// Cuts whole blocks from the top until `blocks` more and `chars` more fit. The cut goes through
// the document's own bound on blocks, the one way of removing that lets it reclaim the text.
void ChatLogView::makeRoom(qsizetype blocks, qsizetype chars) {
    QTextDocument* document = view_.document();
    const qsizetype have = document->isEmpty() ? 0 : document->blockCount();
    qsizetype excessBlocks = have + blocks - kMaxLines;
    qsizetype excessChars = document->characterCount() + chars - kMaxChars;
    qsizetype cut = 0;
    for (QTextBlock block = document->firstBlock();
         block.isValid() && (excessBlocks > 1 || excessChars > 0); block = block.next()) {
        ++cut;
        --excessBlocks;
        excessChars -= block.length();
    }
    if (cut == 0)
        return;
    if (cut >= have) {
        document->clear();
    } else {
        document->setMaximumBlockCount(int(have - cut));
        document->setMaximumBlockCount(kMaxLines);
    }
}

void ChatLogView::insertLine(QTextCursor& cursor, const ChatSession::Line& line) {
    const ChatLineLook& look = line.look;
    QTextBlockFormat block;
    if (look.kind == ChatLineKind::Card)
        block.setBackground(kCardBackground);
    else if (look.own)
        block.setBackground(kOwnBackground);
    else if (look.keeper)
        block.setBackground(kKeeperBackground);
    QTextDocument* document = view_.document();
    cursor.setPosition(document->characterCount() - 1);
    if (document->isEmpty())
        cursor.setBlockFormat(block);
    else
        cursor.insertBlock(block,
                           look.kind == ChatLineKind::System ? systemFormat() : QTextCharFormat());
    if (line.heldDraw > 0)
        cursor.block().setUserState(heldDrawState(line.heldDraw));
    writeLine(cursor, line);
}

// The line's text in its look at the cursor, its pictures behind their codes.
void ChatLogView::writeLine(QTextCursor& cursor, const ChatSession::Line& line) {
    const ChatLineLook& look = line.look;
    QTextCharFormat head;
    head.setForeground(headColour(look));
    head.setFontWeight(QFont::Bold);
    QTextCharFormat body;
    if (look.kind == ChatLineKind::System)
        head = body = systemFormat();
    const qsizetype split = headLength(line.text);
    cursor.insertText(line.text.left(split), head);
    qsizetype from = split;
    for (const SymbolMark& mark : line.pictures) {
        if (mark.at < from)
            continue;
        cursor.insertText(line.text.mid(from, mark.at - from), body);
        cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                          SymbolTextObject::symbolFormat(mark.symbol));
        from = mark.at;
    }
    cursor.insertText(line.text.mid(from), body);
}

void ChatLogView::reveal(int heldDraw, const ChatSession::Line& line) {
    QTextDocument* document = view_.document();
    for (QTextBlock block = document->lastBlock(); block.isValid(); block = block.previous()) {
        if (block.userState() != heldDrawState(heldDraw))
            continue;
        QTextCursor cursor(block);
        cursor.beginEditBlock();
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        block.setUserState(-1);
        writeLine(cursor, line);
        cursor.endEditBlock();
        return;
    }
}

// A greeting's first line makes its fold, a block of its own; the others join it wherever it
// stands.
void ChatLogView::addToFold(QTextCursor& cursor, const ChatSession::Line& line) {
    Fold* fold = liveFold(line.greeting);
    if (!fold) {
        insertLine(cursor, {foldHead(1, false), {ChatLineKind::System, {}, false, false}, 0, {}});
        cursor.block().setUserState(nextFoldId_);
        folds_.push_back({nextFoldId_++, line.greeting, cursor, {}, 0, false, false});
        fold = &folds_.back();
        fold->at.movePosition(QTextCursor::StartOfBlock);
        if (folds_.size() > std::size_t(kMaxFolds)) {
            Fold& oldest = folds_.front();
            if (isLive(oldest))
                oldest.at.block().setUserState(-1); // no longer opens
            // In a deque, `fold` stays where it is.
            folds_.pop_front();
        }
    }
    if (fold->lines.size() < kMaxFoldLines) {
        const QString& text = line.text;
        fold->lines << kFoldIndent +
                           (text.startsWith(kSystemHead) ? text.mid(kSystemHead.size()) : text);
    }
    ++fold->total;
    fold->changed = true;
}

ChatLogView::Fold* ChatLogView::liveFold(int greeting) {
    for (auto fold = folds_.rbegin(); fold != folds_.rend(); ++fold) {
        if (fold->greeting == greeting)
            return isLive(*fold) ? &*fold : nullptr;
    }
    return nullptr;
}

bool ChatLogView::isLive(const Fold& fold) const {
    return fold.at.block().userState() == fold.id;
}

// Writes the fold's block anew: its head alone, or its head and its lines, each on a line of
// its own within the block.
void ChatLogView::showFold(Fold& fold) {
    if (!isLive(fold))
        return;
    QString text = foldHead(fold.total, fold.open);
    if (fold.open) {
        text += QChar::LineSeparator + fold.lines.join(QChar::LineSeparator);
        if (fold.total > fold.lines.size())
            text += QChar::LineSeparator + kFoldIndent +
                    QStringLiteral("\u2026 and %1 more").arg(fold.total - fold.lines.size());
    }
    const QTextBlock block = fold.at.block();
    if (block.text() == text)
        return;
    QTextCursor edit(block);
    edit.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    edit.insertText(text, systemFormat());
}

bool ChatLogView::toggleFoldAt(QPoint pos) {
    const QTextCursor hit = view_.cursorForPosition(pos);
    const int id = hit.block().userState();
    for (Fold& fold : folds_) {
        if (fold.id != id || !isLive(fold) ||
            hit.positionInBlock() > foldHead(fold.total, fold.open).size())
            continue;
        fold.open = !fold.open;
        showFold(fold);
        return true;
    }
    return false;
}

} // namespace jackwell

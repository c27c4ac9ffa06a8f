#include "shell/chat_window.h"

#include "shell/card_keys.h"
#include "shell/pictures.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace jackwell {

namespace {

constexpr QSize kFirstSize{460, 420};

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

// Where the line's head (its kind and speaker, up to the first ": ") ends.
qsizetype headLength(const QString& text) {
    const qsizetype end = text.indexOf(QStringLiteral(": "));
    return end < 0 ? 0 : end + 2;
}

} // namespace

ChatWindow::ChatWindow(ChatSession& session, QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , status_(new QLabel(this))
    , log_(new QPlainTextEdit(this))
    , input_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("ChatWindow"));
    setWindowTitle(QStringLiteral("Chat"));
    setWindowIcon(programIcon());
    resize(kFirstSize);
    // Opened beside the card, it leaves the keyboard with the card; a click brings it here.
    setAttribute(Qt::WA_ShowWithoutActivating);

    status_->setObjectName(QStringLiteral("chatStatus"));
    status_->setAccessibleName(QStringLiteral("Chat link"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setMargin(4);
    status_->setStyleSheet(QStringLiteral("QLabel { background: #2d1b3d; color: white; "
                                          "font-weight: bold; border-radius: 3px; }"));

    log_->setObjectName(QStringLiteral("chatLog"));
    log_->setAccessibleName(QStringLiteral("Chat text"));
    log_->setReadOnly(true);
    // Lines beyond the most go from the top as new ones come in; the document then reclaims
    // their text now and then (a text removed in any other way it would keep).
    log_->setMaximumBlockCount(kMaxLines);
    log_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    log_->setFocusPolicy(Qt::StrongFocus); // the card's keys work here
    log_->installEventFilter(this);
    QScrollBar* bar = log_->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { followEnd_ = value >= bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (followEnd_)
            bar->setValue(maximum);
    });

    input_->setObjectName(QStringLiteral("chatInput"));
    input_->setAccessibleName(QStringLiteral("Say"));
    input_->setPlaceholderText(QStringLiteral("Say something to everyone, or /msg NAME text"));
    input_->installEventFilter(this);
    connect(input_, &QLineEdit::returnPressed, this, &ChatWindow::submit);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addWidget(status_);
    layout->addWidget(log_, 1);
    layout->addWidget(input_);

    setStatus(session_.statusText());
}

ChatWindow::~ChatWindow() = default;

void ChatWindow::appendLine(const ChatSession::Line& line) {
    waiting_.push_back(line);
    if (qsizetype(waiting_.size()) > kMaxLines)
        waiting_.pop_front();
    if (isVisible())
        insertLines(std::exchange(waiting_, {}));
}

void ChatWindow::showEvent(QShowEvent* event) {
    insertLines(std::exchange(waiting_, {}));
    QWidget::showEvent(event);
}

// The new lines go in at the end in one edit, inside which the cursor lays nothing out; it only
// ever jumps (a moving cursor lays out each line it passes). The document then trims a line or
// two from the top in an edit of its own, so that the view hears of two small changes, never of
// one that spans the whole text (which it would lay out anew). Many lines at once (the window
// was hidden) first make room by one cut from the top, which walks nothing.
void ChatWindow::insertLines(const std::deque<ChatSession::Line>& lines) {
    if (lines.empty())
        return;
    QTextDocument* document = log_->document();
    QTextCursor cursor(document);
    const qsizetype have = document->isEmpty() ? 0 : document->blockCount();
    const qsizetype excess = have + qsizetype(lines.size()) - kMaxLines;
    if (excess > 1) {
        const QTextBlock firstKept = document->findBlockByNumber(int(qMin(excess, have)));
        cursor.beginEditBlock();
        cursor.setPosition(0);
        cursor.setPosition(firstKept.isValid() ? firstKept.position()
                                               : document->characterCount() - 1,
                           QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        cursor.endEditBlock();
    }
    cursor.beginEditBlock();
    bool first = document->isEmpty();
    for (const ChatSession::Line& line : lines) {
        const ChatLineLook& look = line.look;
        QTextBlockFormat block;
        if (look.kind == ChatLineKind::Card)
            block.setBackground(kCardBackground);
        else if (look.own)
            block.setBackground(kOwnBackground);
        else if (look.keeper)
            block.setBackground(kKeeperBackground);
        QTextCharFormat head;
        head.setForeground(headColour(look));
        head.setFontWeight(QFont::Bold);
        QTextCharFormat body;
        if (look.kind == ChatLineKind::System) {
            head.setFontWeight(QFont::Normal);
            head.setFontItalic(true);
            body = head;
        }
        const qsizetype split = headLength(line.text);
        cursor.setPosition(document->characterCount() - 1);
        if (first)
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block, body);
        first = false;
        cursor.insertText(line.text.left(split), head);
        cursor.insertText(line.text.mid(split), body);
    }
    cursor.endEditBlock();
}

void ChatWindow::setStatus(const QString& text) {
    status_->setText(text);
    status_->setAccessibleDescription(text);
}

QString ChatWindow::statusText() const {
    return status_->text();
}

void ChatWindow::submit() {
    const QString typed = input_->text();
    input_->clear();
    session_.submit(typed);
}

bool ChatWindow::forwardCardKey(QKeyEvent* event) {
    const auto action = cardActionForKey(event->key(), int(event->modifiers()));
    if (!action)
        return false;
    if (!event->isAutoRepeat()) // a key held down acts once
        emit cardKeyPressed(*action);
    return true;
}

bool ChatWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == input_) {
        if (key->key() != Qt::Key_Escape)
            return false;
        log_->setFocus(Qt::OtherFocusReason);
        return true;
    }
    if (watched == log_) {
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            input_->setFocus(Qt::OtherFocusReason); // Return: to the typing line
            return true;
        }
        return forwardCardKey(key);
    }
    return QWidget::eventFilter(watched, event);
}

void ChatWindow::keyPressEvent(QKeyEvent* event) {
    if (!forwardCardKey(event))
        QWidget::keyPressEvent(event);
}

void ChatWindow::closeEvent(QCloseEvent* event) {
    hide();
    event->ignore();
    emit closedByPlayer();
}

} // namespace jackwell

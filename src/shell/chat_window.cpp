#include "shell/chat_window.h"

#include "clock/clock.h"
#include "shell/card_keys.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace jackwell {

namespace {

constexpr QSize kFirstSize{460, 420};
// A press and release closer than this is a click, not a drag that selects text.
constexpr int kClickSlack = 4;

const QString kSayPlaceholder =
    QStringLiteral("Say something to everyone; /help lists the commands");

} // namespace

ChatWindow::ChatWindow(ChatSession& session, QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , status_(new QLabel(this))
    , log_(new QPlainTextEdit(this))
    , input_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("ChatWindow"));
    setWindowTitle(QStringLiteral("Chat"));
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
    log_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    log_->setFocusPolicy(Qt::StrongFocus); // the card's keys work here
    log_->installEventFilter(this);
    log_->viewport()->installEventFilter(this); // clicks on a greeting open it
    lines_ = std::make_unique<ChatLogView>(*log_);
    frame_ = session_.clock().createAlarm([this] { insertWaiting(); });
    QScrollBar* bar = log_->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { followEnd_ = value >= bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (followEnd_)
            bar->setValue(maximum);
    });

    input_->setObjectName(QStringLiteral("chatInput"));
    input_->setAccessibleName(QStringLiteral("Say"));
    input_->setPlaceholderText(kSayPlaceholder);
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
    waitingChars_ += ChatLogView::charsOf(line);
    while (qsizetype(waiting_.size()) > kMaxLines || waitingChars_ > kMaxChars) {
        waitingChars_ -= ChatLogView::charsOf(waiting_.front());
        waiting_.pop_front();
    }
    if (isVisible() && !frame_->isActive())
        frame_->start(kFrameMs);
}

void ChatWindow::revealLine(int heldDraw, const ChatSession::Line& line) {
    for (ChatSession::Line& waiting : waiting_) {
        if (waiting.heldDraw == heldDraw) {
            waitingChars_ += ChatLogView::charsOf(line) - ChatLogView::charsOf(waiting);
            waiting = line;
            return;
        }
    }
    lines_->reveal(heldDraw, line);
}

void ChatWindow::showEvent(QShowEvent* event) {
    insertWaiting();
    QWidget::showEvent(event);
}

void ChatWindow::insertWaiting() {
    frame_->stop();
    waitingChars_ = 0;
    lines_->append(std::exchange(waiting_, {}));
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
    showQuery();
}

void ChatWindow::showQuery() {
    const QString& partner = session_.queryPartner();
    input_->setPlaceholderText(
        partner.isEmpty()
            ? kSayPlaceholder
            : QStringLiteral("Write privately to %1; /query alone ends that").arg(partner));
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
    if (watched == log_->viewport() && event->type() == QEvent::MouseButtonPress) {
        pressedAt_ = static_cast<QMouseEvent*>(event)->position().toPoint();
    } else if (watched == log_->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        if (mouse->button() == Qt::LeftButton &&
            (at - pressedAt_).manhattanLength() <= kClickSlack && lines_->toggleFoldAt(at))
            return true;
    }
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

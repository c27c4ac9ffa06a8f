#include "demo_picture.h"

#include "reels/card_state.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

namespace jackwell::demo {

namespace {

constexpr int kMargin = 12;
constexpr int kPanelWidth = 600;

QString codes(const CardState& state, Draw draw) {
    QStringList shown;
    for (const Reel& reel : state.reels)
        shown << (draw == Draw::First ? reel.firstCode : reel.finalCode);
    return shown.join(QStringLiteral("  "));
}

} // namespace

QStringList describeCard(const CardState& state) {
    QStringList holds;
    for (int reel = 0; reel < 3; ++reel)
        holds << (isHeld(state, reel) ? QStringLiteral("HELD") : QStringLiteral("hold"));
    const QString keeper =
        state.machineKeeperName.isEmpty() ? QStringLiteral("(none yet)") : state.machineKeeperName;
    return {
        QStringLiteral("Machinekeeper: %1").arg(keeper),
        QStringLiteral("Credits: %1   tokens: %2").arg(state.credits, state.tokens),
        QStringLiteral("First draw: %1   final draw: %2")
            .arg(codes(state, Draw::First), codes(state, Draw::Final)),
        QStringLiteral("Holds: %1").arg(holds.join(QStringLiteral(" "))),
    };
}

QImage composePicture(QWidget& window, const Snapshot& snapshot) {
    const QPixmap card = window.grab();
    const qreal ratio = card.devicePixelRatio();
    const QSize cardSize = card.deviceIndependentSize().toSize();

    QFont titleFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    titleFont.setPixelSize(16);
    titleFont.setBold(true);
    QFont textFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    textFont.setPixelSize(11);
    const QFontMetrics titleMetrics(titleFont);
    const QFontMetrics textMetrics(textFont);
    const int lineHeight = textMetrics.lineSpacing();
    const int textLines = int(snapshot.facts.size() + snapshot.chatTail.size()) + 2;
    const int panelHeight = kMargin * 2 + titleMetrics.lineSpacing() + textLines * lineHeight;

    const QSize size(kMargin * 3 + cardSize.width() + kPanelWidth,
                     qMax(cardSize.height() + kMargin * 2, panelHeight));
    QImage picture((QSizeF(size) * ratio).toSize(), QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    picture.fill(QColor(0xf4, 0xf1, 0xea));

    QPainter painter(&picture);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.drawPixmap(kMargin, kMargin, card);

    const int left = kMargin * 2 + cardSize.width();
    int y = kMargin + titleMetrics.ascent();
    painter.setFont(titleFont);
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.drawText(left, y, snapshot.title);
    y += titleMetrics.descent() + lineHeight;

    painter.setFont(textFont);
    for (const QString& fact : snapshot.facts) {
        painter.drawText(left, y, fact);
        y += lineHeight;
    }
    y += lineHeight;
    painter.setPen(QColor(0x55, 0x55, 0x55));
    painter.drawText(left, y, QStringLiteral("Chat text, last lines:"));
    y += lineHeight;
    painter.setPen(QColor(0x10, 0x30, 0x60));
    for (const QString& line : snapshot.chatTail) {
        painter.drawText(left, y, textMetrics.elidedText(line, Qt::ElideRight, kPanelWidth));
        y += lineHeight;
    }
    return picture;
}

QImage composeDesktop(const QList<QWidget*>& windows, QScreen* screen) {
    constexpr int kTitleBar = 24;
    // The screen's free area, and above it the title bars that a window manager would draw
    // (the offscreen platform draws no frames).
    QRect area = screen->availableGeometry();
    for (QWidget* window : windows)
        area |= window->geometry().adjusted(-1, -kTitleBar - 1, 1, 1);
    const qreal ratio = screen->devicePixelRatio();
    QImage picture((QSizeF(area.size()) * ratio).toSize(), QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    picture.fill(QColor(0x3b, 0x4a, 0x5c));

    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont titleFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    titleFont.setPixelSize(12);
    titleFont.setBold(true);
    painter.setFont(titleFont);
    for (QWidget* window : windows) {
        const QRect place = window->geometry().translated(-area.topLeft());
        const QRect bar(place.left(), place.top() - kTitleBar, place.width(), kTitleBar);
        painter.fillRect(bar.adjusted(-1, -1, 1, 0), QColor(0x22, 0x22, 0x2a));
        painter.setPen(QColor(0xee, 0xee, 0xee));
        painter.drawText(bar.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         window->windowTitle());
        painter.drawPixmap(place.topLeft(), window->grab());
        painter.setPen(QColor(0x22, 0x22, 0x2a));
        painter.drawRect(place.adjusted(-1, -1, 0, 0));
    }
    return picture;
}

} // namespace jackwell::demo

#include "shell/program_dialogs.h"

#include "card/card.h"
#include "history/game_history.h"
#include "history/hold_hint.h"
#include "platform/version.h"
#include "settings/options.h"
#include "shell/card_keys.h"
#include "shell/card_window.h"
#include "shell/chat_window.h"
#include "shell/help_window.h"
#include "shell/options_window.h"
#include "shell/picture_test_corner.h"
#include "shell/program_windows.h"
#include "shell/qt_file_chooser.h"
#include "shell/statistics_window.h"
#include "shell/window_placement.h"

#include <QDir>
#include <QLayout>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>

namespace jackwell {

namespace {

// Beside the card on its screen, never over it, and no larger than the screen's free area.
void openBesideCard(QWidget& dialog, const QWidget& card) {
    const QScreen* screen = card.screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QRect cardFrame = card.frameGeometry();
    // The window manager's frame, once the dialog has one.
    const QSize frame =
        dialog.isVisible() ? dialog.frameGeometry().size() - dialog.size() : QSize();
    if (QLayout* layout = dialog.layout())
        layout->activate(); // the dialog's least size, as it will be shown
    QSize size = dialog.size().expandedTo(dialog.minimumSize()).boundedTo(available.size() - frame);
    // As wide as the room on the wider side of the card allows, where the dialog can be made so
    // narrow; else it keeps its width and may only stand elsewhere on the screen.
    const int room =
        std::max(available.right() - cardFrame.right(), cardFrame.left() - available.left()) -
        kGapBesideCard - frame.width();
    if (room >= dialog.minimumSizeHint().width())
        size.setWidth(std::min(size.width(), room));
    dialog.resize(size);
    dialog.move(placeBeside(cardFrame, size + frame, available));
}

// A message box that goes on its own when closed, shown without a nested event loop, beside the
// card. Esc, Return (its Close) and Ctrl+W close it. One that leaves the keyboard with the card
// lets the card's keys go on working while it shows.
QMessageBox* openInfoBox(ProgramWindows& windows, const QString& title, const QString& text,
                         bool leaveKeysWithCard = false) {
    QWidget& card = windows.card();
    auto* box = new QMessageBox(QMessageBox::NoIcon, title, text, QMessageBox::Close, &card);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QObject::connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), box), &QShortcut::activated,
                     box, &QWidget::close);
    box->setAttribute(Qt::WA_ShowWithoutActivating, leaveKeysWithCard);
    box->adjustSize();
    if (!windows.showInDock(*box)) {
        openBesideCard(*box, card);
        box->show();
    }
    return box;
}

} // namespace

ProgramDialogs::ProgramDialogs(Context context)
    : context_(std::move(context))
    , files_(context_.files) {
    if (!files_) {
        ownFiles_ = std::make_unique<QtFileChooser>();
        files_ = ownFiles_.get();
    }
    CardWindow& card = context_.windows.card();
    pictureTestCorner_ = new PictureTestCorner(
        card, *files_, [this](const QString& message) { emit problem(message); });
    connect(&card, &CardWindow::menuRequested, this, &ProgramDialogs::showCardMenu);
    connect(&card, &CardWindow::statisticsRequested, this, &ProgramDialogs::showStatistics);
    connect(&card, &CardWindow::hintRequested, this, &ProgramDialogs::showHint);
    connect(&card, &CardWindow::optionsRequested, this, &ProgramDialogs::showOptions);
    addShortcuts();
}

ProgramDialogs::~ProgramDialogs() {
    close();
}

// Keys that work in every window of the program.
void ProgramDialogs::addShortcuts() {
    CardWindow& card = context_.windows.card();
    const auto everywhere = [&](QKeySequence keys, auto action) {
        auto* shortcut = new QShortcut(keys, &card);
        shortcut->setContext(Qt::ApplicationShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    everywhere(QKeySequence(Qt::Key_F1), &ProgramDialogs::showHelp);
    everywhere(QKeySequence(Qt::CTRL | Qt::Key_Q), [&card] { card.close(); });
}

OptionsWindow& ProgramDialogs::optionsWindow() {
    if (!options_) {
        options_ = std::make_unique<OptionsWindow>(context_.options, *files_, context_.soundsDir);
        OptionsWindow* window = options_.get();
        connect(window, &OptionsWindow::stayOnTopChanged, this, &ProgramDialogs::stayOnTopChanged);
        connect(window, &OptionsWindow::saveRequested, this, &ProgramDialogs::saveRequested);
        connect(window, &OptionsWindow::problem, this, &ProgramDialogs::problem);
    }
    return *options_;
}

// The options window shows the options it is made with: one not made yet waits until it is needed.
void ProgramDialogs::renderOptions() {
    if (options_)
        options_->render();
}

void ProgramDialogs::showOptions() {
    if (closed_)
        return;
    OptionsWindow& options = optionsWindow();
    if (context_.windows.showInDock(options))
        return;
    // Beside the card on its screen each time it opens.
    if (options.isHidden())
        openBesideCard(options, context_.windows.card());
    options.setWindowState(options.windowState() & ~Qt::WindowMinimized);
    options.show();
    options.raise();
    options.activateWindow();
}

void ProgramDialogs::showCardMenu(const QPoint& globalPos) {
    if (closed_)
        return;
    CardWindow& card = context_.windows.card();
    auto* menu = new QMenu(&card);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("cardMenu"));
    QAction* chat = menu->addAction(QStringLiteral("Chat window\tC"), &context_.windows,
                                    &ProgramWindows::toggleChatWindow);
    chat->setCheckable(true);
    chat->setChecked(context_.windows.chat().isVisible());
    menu->addAction(QStringLiteral("Payouts\tP"), this,
                    [&card] { card.trigger(CardAction::ShowPayouts); });
    menu->addAction(QStringLiteral("Options\tO"), this,
                    [&card] { card.trigger(CardAction::ShowOptions); });
    menu->addAction(QStringLiteral("Statistics\tT"), this, &ProgramDialogs::showStatistics);
    menu->addAction(QStringLiteral("Hint\tH"), this, &ProgramDialogs::showHint);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Help\tF1"), this, &ProgramDialogs::showHelp);
    menu->addAction(QStringLiteral("Keys"), this, &ProgramDialogs::showKeys);
    menu->addAction(QStringLiteral("About Jackwell"), this, &ProgramDialogs::showAbout);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Quit\tCtrl+Q"), &card, &QWidget::close);
    menu->popup(globalPos);
}

void ProgramDialogs::showHelp() {
    openHelp(false);
}

void ProgramDialogs::showKeys() {
    openHelp(true);
}

void ProgramDialogs::openHelp(bool atKeys) {
    if (closed_)
        return;
    if (!help_)
        help_ = std::make_unique<HelpWindow>();
    const auto section = atKeys ? HelpWindow::Section::Keys : HelpWindow::Section::Rules;
    if (context_.windows.showInDock(*help_)) {
        help_->open(section);
        return;
    }
    const bool opening = help_->isHidden();
    help_->open(section);
    if (opening) // beside the card where there is room for it, never over it
        openBesideCard(*help_, context_.windows.card());
}

void ProgramDialogs::showAbout() {
    delete infoBox_;
    QMessageBox* box = openInfoBox(
        context_.windows, QStringLiteral("About Jackwell"),
        QStringLiteral("Jackwell %1\n\nThe player's side of a three-reel slot machine that a "
                       "machinekeeper robot runs in a chat world.\n\n"
                       "Options (Settings.txt):\n%2\n\n"
                       "Preferences (the chat window's place):\n%3")
            .arg(QLatin1String(kJackwellVersion), QDir::toNativeSeparators(context_.settingsPath),
                 context_.preferencesPath.isEmpty()
                     ? QStringLiteral("not kept")
                     : QDir::toNativeSeparators(context_.preferencesPath)));
    box->setObjectName(QStringLiteral("aboutBox"));
    infoBox_ = box;
}

void ProgramDialogs::showStatistics() {
    if (closed_)
        return;
    if (!statistics_)
        statistics_ = std::make_unique<StatisticsWindow>();
    statistics_->showGames(context_.history.read(context_.card.state.machineKeeperName));
    if (context_.windows.showInDock(*statistics_))
        return;
    statistics_->setWindowState(statistics_->windowState() & ~Qt::WindowMinimized);
    const bool opening = !statistics_->isVisible();
    statistics_->show();
    if (opening) // placed once shown, at the size its contents take
        openBesideCard(*statistics_, context_.windows.card());
    statistics_->raise();
}

void ProgramDialogs::refreshStatistics() {
    if (statistics_ && statistics_->isVisible())
        statistics_->showGames(context_.history.read(context_.card.state.machineKeeperName));
}

void ProgramDialogs::showHint() {
    if (closed_)
        return;
    machine::ReelCodes firstDraw{};
    machine::HoldMask holds{};
    const CardState& state = context_.card.state;
    for (int reel = 0; reel < machine::kReelCount; ++reel) {
        firstDraw[reel] = codeValue(state.reels[reel].firstCode);
        holds[reel] = isHeld(state, reel);
    }
    // H again closes the hint it opened.
    const bool hintOpen = infoBox_ && infoBox_->objectName() == QLatin1String("hintBox");
    delete infoBox_;
    if (hintOpen)
        return;
    QMessageBox* box = openInfoBox(context_.windows, QStringLiteral("Hint"),
                                   history::holdHint(firstDraw, holds), true);
    box->setObjectName(QStringLiteral("hintBox"));
    infoBox_ = box;
}

void ProgramDialogs::close() {
    closed_ = true;
    statistics_.reset();
    options_.reset();
    help_.reset();
}

} // namespace jackwell

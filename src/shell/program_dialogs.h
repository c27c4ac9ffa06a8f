#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QPoint;
class QWidget;

namespace jackwell {

class Card;
class FileChooser;
class HelpWindow;
class OptionsWindow;
class PictureTestCorner;
class ProgramWindows;
class StatisticsWindow;
struct Options;

namespace history {
class GameHistory;
}

// The windows the card opens beside it: the options, the help, the statistics, the hint and the
// about box, and the card's menu and the keys that open them from every window.
class ProgramDialogs : public QObject {
    Q_OBJECT

public:
    // What the dialogs show and change; all of it must outlive them.
    struct Context {
        ProgramWindows& windows;
        Card& card;
        Options& options;
        history::GameHistory& history;
        FileChooser* files = nullptr; // null: the platform's Open dialogs
        QString soundsDir;            // the program's own sounds
        QString settingsPath;         // named in the about box
        QString preferencesPath;      // the same; empty: not kept
    };

    explicit ProgramDialogs(Context context);
    ~ProgramDialogs() override;

    // The options window, made hidden when it does not exist yet.
    OptionsWindow& optionsWindow();
    // Shows the options as they now are, in a window made already.
    void renderOptions();
    // OPTIONS: shows the options window, modeless, beside the card.
    void showOptions();
    // The card's menu at `globalPos`: the chat window, payouts, options, help, keys, about, quit.
    void showCardMenu(const QPoint& globalPos);
    // The help window (F1) at its start, or at the keys.
    void showHelp();
    void showKeys();
    HelpWindow* helpWindow() const { return help_.get(); }
    void showAbout();
    // The statistics window, the history read anew; made on first use.
    void showStatistics();
    // The statistics shown anew while they are open (a game was played).
    void refreshStatistics();
    StatisticsWindow* statisticsWindow() const { return statistics_.get(); }
    // The best holds for the first draw on the card; it only shows.
    void showHint();
    PictureTestCorner& pictureTestCorner() { return *pictureTestCorner_; }
    // Shutdown: every dialog goes; from then on none opens.
    void close();

signals:
    // "Stay On Top" clicked in the options window.
    void stayOnTopChanged();
    // The options window asks for the options to be written.
    void saveRequested();
    void problem(const QString& message);

private:
    void openHelp(bool atKeys);
    void addShortcuts();

    Context context_;
    std::unique_ptr<FileChooser> ownFiles_;
    FileChooser* files_ = nullptr;
    PictureTestCorner* pictureTestCorner_ = nullptr; // a child of the card
    std::unique_ptr<OptionsWindow> options_;
    std::unique_ptr<HelpWindow> help_;
    std::unique_ptr<StatisticsWindow> statistics_;
    QPointer<QWidget> infoBox_; // the about box or the hint, while it is open
    bool closed_ = false;
};

} // namespace jackwell

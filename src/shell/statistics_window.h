#pragma once

#include "history/game_history.h"

#include <QWidget>

#include <vector>

class QGridLayout;
class QLabel;

namespace jackwell {

// The chart of the player's credits after each game, painted for its width (see
// history::CreditsChart), so that a hundred thousand games paint as fast as ten.
class CreditsChartView : public QWidget {
public:
    explicit CreditsChartView(QWidget* parent = nullptr);
    void setGames(std::vector<history::PlayedGame> games);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<history::PlayedGame> games_;
};

// The player's statistics: where the games come from, how many were played and won, the
// biggest win, the tokens won and credits spent, the player's return beside the machine's exact
// return with its band for as many games, and the chart of credits over the games. It shows
// what it is given; the program reads the history each time it opens.
class StatisticsWindow : public QWidget {
public:
    explicit StatisticsWindow(QWidget* parent = nullptr);

    void showGames(history::GameHistory::Games games);

    // The value shown beside the figure `name` ("Games played"), for the tests and the demo.
    QString figure(const QString& name) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* source_;
    QGridLayout* figures_;
    QLabel* problem_;
    CreditsChartView* chart_;
};

} // namespace jackwell

#include "shell/statistics_window.h"

#include "shell/dialog_keys.h"

#include "history/credits_chart.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <QVBoxLayout>

namespace jackwell {

namespace {

constexpr QMargins kPlotMargins{60, 10, 12, 24}; // room for the axes' labels
constexpr QSize kChartMinimumSize{420, 180};
const QColor kLineColour{0x1f, 0x5f, 0xbf};
const QColor kSpreadColour{0x9f, 0xbf, 0xef};

const QString kReturnsNote = QStringLiteral(
    "Returns are tokens won over tokens staked (a game stakes 1 credit, 50 tokens). The machine's "
    "are exact, with the best holds for every first draw and with no holds; \"for N games\" is "
    "where 95 of 100 players' returns fall after that many games (±1.96 σ/√n).");

} // namespace

CreditsChartView::CreditsChartView(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("creditsChart"));
    setMinimumSize(kChartMinimumSize);
    setAccessibleName(QStringLiteral("Credits after each game"));
}

void CreditsChartView::setGames(std::vector<history::PlayedGame> games) {
    games_ = std::move(games);
    update();
}

void CreditsChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRect plot = rect().marginsRemoved(kPlotMargins);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Text));
    if (games_.empty()) { // (the chart is never smaller than kChartMinimumSize)
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("No games yet"));
        return;
    }
    const history::CreditsChart chart = history::creditsChart(games_, plot.width());
    const double low = double(chart.low);
    const double span = std::max(1.0, double(chart.high) - low);
    const auto yOf = [&](qint64 credits) {
        return plot.bottom() - (double(credits) - low) / span * (plot.height() - 1);
    };
    const double step = double(plot.width() - 1) / std::max<qsizetype>(1, chart.columns.size() - 1);
    QPolygonF line;
    line.reserve(qsizetype(chart.columns.size()));
    painter.setPen(kSpreadColour);
    for (std::size_t column = 0; column < chart.columns.size(); ++column) {
        const history::CreditsChart::Column& at = chart.columns[column];
        const double x = plot.left() + double(column) * step;
        if (at.low != at.high)
            painter.drawLine(QPointF(x, yOf(at.low)), QPointF(x, yOf(at.high)));
        line << QPointF(x, yOf(at.last));
    }
    painter.setPen(QPen(kLineColour, 1.5));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPolyline(line);

    painter.setPen(palette().color(QPalette::Text));
    const QRect left(0, plot.top(), kPlotMargins.left() - 6, plot.height());
    painter.drawText(left, Qt::AlignRight | Qt::AlignTop, QString::number(chart.high));
    painter.drawText(left, Qt::AlignRight | Qt::AlignBottom, QString::number(chart.low));
    painter.drawText(left, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("credits"));
    const QRect bottom(plot.left(), plot.bottom() + 4, plot.width(), kPlotMargins.bottom() - 4);
    // Never cut short by a large font: the box only places them.
    painter.drawText(bottom, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                     QStringLiteral("game 1"));
    painter.drawText(bottom, Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip,
                     QStringLiteral("game %1").arg(chart.games));
}

StatisticsWindow::StatisticsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("statisticsWindow"));
    setWindowTitle(QStringLiteral("Statistics"));
    auto* layout = new QVBoxLayout(this);
    source_ = new QLabel(this);
    source_->setObjectName(QStringLiteral("statisticsSource"));
    source_->setWordWrap(true);
    source_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(source_);
    figures_ = new QGridLayout;
    figures_->setColumnStretch(1, 1);
    layout->addLayout(figures_);
    auto* note = new QLabel(kReturnsNote, this);
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(note);
    chart_ = new CreditsChartView(this);
    layout->addWidget(chart_, 1);
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("statisticsProblem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #a00000"));
    layout->addWidget(problem_);
    // A visible Close, which Return presses; Esc, Ctrl+W and T (the key that opened it) close it
    // too.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* close = buttons->button(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("statisticsClose"));
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    layout->addWidget(buttons);
}

void StatisticsWindow::keyPressEvent(QKeyEvent* event) {
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (closesDialog(*event, Qt::Key_T) || returnKey) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void StatisticsWindow::showGames(history::GameHistory::Games games) {
    source_->setText(games.source);
    problem_->setText(games.problem);
    problem_->setVisible(!games.problem.isEmpty());
    const history::HistoryFigures figures =
        history::summarize(games.games, machine::machineHoldValues().exactReturn());
    const std::vector<history::FigureRow> rows = history::figureRows(figures);
    for (int row = 0; row < int(rows.size()); ++row) {
        for (int column = 0; column < 2; ++column) {
            auto* label =
                qobject_cast<QLabel*>(figures_->itemAtPosition(row, column)
                                          ? figures_->itemAtPosition(row, column)->widget()
                                          : nullptr);
            if (!label) {
                label = new QLabel(this);
                label->setTextInteractionFlags(Qt::TextSelectableByMouse);
                figures_->addWidget(label, row, column);
            }
            label->setText(column == 0 ? rows[std::size_t(row)].name + u':'
                                       : rows[std::size_t(row)].value);
        }
    }
    chart_->setGames(std::move(games.games));
}

QString StatisticsWindow::figure(const QString& name) const {
    for (int row = 0; row < figures_->rowCount(); ++row) {
        const QLayoutItem* key = figures_->itemAtPosition(row, 0);
        const QLayoutItem* value = figures_->itemAtPosition(row, 1);
        if (key && value && static_cast<QLabel*>(key->widget())->text() == name + u':')
            return static_cast<QLabel*>(value->widget())->text();
    }
    return {};
}

} // namespace jackwell

#include "shell/help_window.h"

#include "shell/dialog_keys.h"

#include "machine/pay_table.h"
#include "shell/card_keys.h"
#include "shell/pictures.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace jackwell {

namespace {

constexpr QSize kWantedSize{520, 640};
constexpr int kPictureSize = 32;

const char* const kRules = R"(<h2><a name="rules"></a>How to play</h2>
<p>The machinekeeper, a robot in the chat world, runs the machine; the card reads what it says in
the chat. <b>GET HOST</b> finds the machinekeeper. <b>REGISTER</b> asks it for a game: 100 free
credits when you have none, the pay table and your first draw. <b>START</b> spins the reels onto
the first draw. Click <b>HOLD</b> under the reels you want to keep (they turn yellow), then
<b>ESP HOLD</b> sends your holds, and the machinekeeper draws the other reels anew.
<b>FINISH</b> spins them onto the final draw and shows your credits; a few seconds later the card
tells the result with its sound.</p>
<p>Each game costs one credit. Three equal symbols pay their row of the pay table; otherwise two
cherries pay 100 tokens and one cherry 50. Wins are paid in tokens, 50 to a credit. A button that
does nothing just now is dimmed, and its tooltip says why.</p>)";

QString payTableHtml() {
    QString rows;
    for (const machine::PayRow& row : machine::kPayTable) {
        rows += QStringLiteral("<tr><td>%1 &times;</td><td><img src=\"symbol:%2\" width=\"%3\" "
                               "height=\"%3\"></td><td>%4</td><td align=\"right\">%5 tokens</td>"
                               "</tr>")
                    .arg(row.count)
                    .arg(row.symbol)
                    .arg(kPictureSize)
                    .arg(QLatin1String(machine::kSymbolNames[row.symbol]))
                    .arg(row.tokens);
    }
    return QStringLiteral("<h2>Pay table</h2><table cellspacing=\"4\">") + rows +
           QStringLiteral("</table>");
}

QString keysHtml() {
    QString rows;
    const auto row = [&rows](const QString& keys, const QString& what) {
        rows += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                    .arg(keys.toHtmlEscaped(), what.toHtmlEscaped());
    };
    for (const CardKey& key : card::kKeys) {
        if (*key.keyNames != '\0')
            row(QLatin1String(key.keyNames), QLatin1String(key.buttonName) + QStringLiteral(": ") +
                                                 QLatin1String(key.description));
    }
    row(QStringLiteral("F1"), QStringLiteral("this help"));
    row(QStringLiteral("Ctrl+Q"), QStringLiteral("quits"));
    row(QStringLiteral("Menu"), QStringLiteral("the card's menu (or a right click)"));
    row(QStringLiteral("Tab, Return"), QStringLiteral("reach a button, and press it"));
    row(QStringLiteral("Esc"), QStringLiteral("closes the pay table, the options and this "
                                              "help; leaves the name box and the chat's typing "
                                              "line"));
    return QStringLiteral("<h2><a name=\"keys\"></a>Keys</h2><p>On the card, the pay table and "
                          "the chat window outside its typing line:</p><table "
                          "cellspacing=\"4\">") +
           rows + QStringLiteral("</table>");
}

} // namespace

HelpWindow::HelpWindow()
    : text_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Jackwell Help"));
    text_->setObjectName(QStringLiteral("helpText"));
    for (const machine::PayRow& row : machine::kPayTable) {
        text_->document()->addResource(
            QTextDocument::ImageResource, QUrl(QStringLiteral("symbol:%1").arg(row.symbol)),
            symbolPicture(row.symbol, kPictureSize * 2).toImage()); // sharp at twice the scale
    }
    text_->setHtml(QLatin1String(kRules) + payTableHtml() + keysHtml());
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addWidget(close, 0, Qt::AlignRight);
}

void HelpWindow::open(Section section) {
    if (isHidden())
        resize(kWantedSize);
    show();
    raise();
    activateWindow();
    text_->scrollToAnchor(section == Section::Keys ? QStringLiteral("keys")
                                                   : QStringLiteral("rules"));
}

// F1 is the program's key for the help everywhere; here it closes the help, so it must reach
// keyPressEvent() before the program-wide shortcut takes it.
bool HelpWindow::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride &&
        closesDialog(*static_cast<QKeyEvent*>(event), Qt::Key_F1)) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void HelpWindow::keyPressEvent(QKeyEvent* event) {
    if (closesDialog(*event, Qt::Key_F1))
        close();
    else
        QWidget::keyPressEvent(event);
}

} // namespace jackwell

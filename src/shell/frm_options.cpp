#include "shell/frm_options.h"

#include "settings/file_chooser.h"
#include "settings/readable_file.h"
#include "shell/jackwell_app.h"
#include "shell/twips_rect.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace jackwell {

namespace {

constexpr int kClientTwips = 2010;
const QString kWaveFilter = QStringLiteral("Wav Files (*.wav)");
const QString kNoFileChosen = QStringLiteral("no file chosen");

// A box that holds 0 (clear), 1 (ticked) or 2 (greyed). Only the settings file
// brings a 2; a click ticks a clear box and clears a ticked or greyed one.
class OptionBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
    }
};

Qt::CheckState boxState(int value) {
    switch (value) {
    case 1:
        return Qt::Checked;
    case 2:
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}

int boxValue(Qt::CheckState state) {
    switch (state) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

template <typename Control>
Control* place(QWidget* parent, const char* name, const QString& caption, QRect rect) {
    auto* control = new Control(caption, parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(rect);
    return control;
}

} // namespace

// The controls are made in their tab order, which gives Qt's focus chain.
frmOptions::frmOptions(JackwellApp& app, FileChooser& chooser)
    : QWidget(nullptr)
    , app_(app)
    , chooser_(chooser)
    , Check1(place<OptionBox>(this, "Check1", QStringLiteral("Stay On Top"),
                              twipsRect(120, 1320, 1335, 255)))
    , Check2(place<OptionBox>(this, "Check2", QStringLiteral("Play Winning Sound"),
                              twipsRect(120, 120, 1815, 255)))
    , Check3(place<OptionBox>(this, "Check3", QStringLiteral("Play Lossing Sound"),
                              twipsRect(120, 720, 1815, 255)))
    , Command1(place<QPushButton>(this, "Command1", QStringLiteral("Close"),
                                  twipsRect(120, 1680, 1815, 255)))
    , Command2(place<QPushButton>(this, "Command2", QStringLiteral("Select Sound"),
                                  twipsRect(120, 400, 1815, 255)))
    , Command3(place<QPushButton>(this, "Command3", QStringLiteral("Select Sound"),
                                  twipsRect(120, 1000, 1815, 255)))
    // The sound paths lie beyond the right edge, out of sight: the player sets
    // them through "Select Sound".
    , Text1(place<QLineEdit>(this, "Text1", QString(), twipsRect(2160, 360, 5295, 285)))
    , Text2(place<QLineEdit>(this, "Text2", QString(), twipsRect(2160, 960, 5295, 285))) {
    setWindowTitle(QStringLiteral("Options"));
    const QRect client = twipsRect(0, 0, kClientTwips, kClientTwips);
    setFixedSize(client.size());

    connect(Check1, &QCheckBox::clicked, this, &frmOptions::Check1_Click);
    connect(Check2, &QCheckBox::clicked, this, &frmOptions::Check2_Click);
    connect(Check3, &QCheckBox::clicked, this, &frmOptions::Check3_Click);
    connect(Command1, &QPushButton::clicked, this, &frmOptions::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmOptions::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmOptions::Command3_Click);
    // The boxes can still be reached with the Tab key; what is typed there is the option.
    connect(Text1, &QLineEdit::textEdited, this, [this](const QString& text) {
        app_.options().text1 = text;
        render();
    });
    connect(Text2, &QLineEdit::textEdited, this, [this](const QString& text) {
        app_.options().text2 = text;
        render();
    });
    render();
}

void frmOptions::render() {
    const Options& options = app_.options();
    Check1->setCheckState(boxState(options.check1));
    Check2->setCheckState(boxState(options.check2));
    Check3->setCheckState(boxState(options.check3));
    // Unchanged text is left alone so that a cursor in the box keeps its place.
    if (Text1->text() != options.text1)
        Text1->setText(options.text1);
    if (Text2->text() != options.text2)
        Text2->setText(options.text2);
    Command2->setToolTip(options.text1.isEmpty() ? kNoFileChosen : options.text1);
    Command3->setToolTip(options.text2.isEmpty() ? kNoFileChosen : options.text2);
}

void frmOptions::takeBox(QCheckBox* box, int Options::*value) {
    app_.options().*value = boxValue(box->checkState());
}

void frmOptions::Check1_Click() {
    takeBox(Check1, &Options::check1);
    app_.Check1_Click();
}

void frmOptions::Check2_Click() {
    takeBox(Check2, &Options::check2);
}
void frmOptions::Check3_Click() {
    takeBox(Check3, &Options::check3);
}

void frmOptions::Command2_Click() {
    selectSound(&Options::text1);
}
void frmOptions::Command3_Click() {
    selectSound(&Options::text2);
}

// A chosen file is taken only when it can be opened for reading; otherwise the
// player is told why and the option stays as it was.
void frmOptions::selectSound(QString Options::*sound) {
    chooser_.chooseFile(this, openDialogTitle(), kWaveFilter,
                        [self = QPointer<frmOptions>(this), sound](const QString& chosen) {
                            if (!self || chosen.isEmpty())
                                return;
                            QString message;
                            if (!checkReadable(chosen, &message)) {
                                emit self->app_.problem(message);
                                return;
                            }
                            self->app_.options().*sound = chosen;
                            self->render();
                        });
}

void frmOptions::Command1_Click() {
    app_.saveOptions();
    hide();
}

void frmOptions::Form_Unload() {
    Command1_Click();
}

void frmOptions::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmOptions::showEvent(QShowEvent* event) {
    render();
    QWidget::showEvent(event);
}

} // namespace jackwell

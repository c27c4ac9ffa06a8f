#include "shell/options_window.h"

#include "shell/dialog_keys.h"

#include "settings/file_chooser.h"
#include "settings/readable_file.h"
#include "shell/options_layout.h"
#include "shell/text_style.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <type_traits>

namespace jackwell {

namespace {

const QString kWaveFilter = QStringLiteral("Wav Files (*.wav)");
const QString kNoFileChosen = QStringLiteral("no file chosen");

// A box that is clear, ticked or greyed. Only the settings file brings a greyed
// box; a click ticks a clear box and clears a ticked or greyed one.
class OptionBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
    }
};

Qt::CheckState boxState(CheckState value) {
    switch (value) {
    case CheckState::Ticked:
        return Qt::Checked;
    case CheckState::Greyed:
        return Qt::PartiallyChecked;
    case CheckState::Clear:
        break;
    }
    return Qt::Unchecked;
}

CheckState boxValue(Qt::CheckState state) {
    switch (state) {
    case Qt::Checked:
        return CheckState::Ticked;
    case Qt::PartiallyChecked:
        return CheckState::Greyed;
    case Qt::Unchecked:
        break;
    }
    return CheckState::Clear;
}

// The room a button's caption has: beside the box of a check box, inside the
// frame and margins of a push button.
int captionRoom(const QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    if (qobject_cast<const QCheckBox*>(&button))
        return button.style()
            ->subElementRect(QStyle::SE_CheckBoxContents, &option, &button)
            .width();
    return button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button).width() -
           2 * button.style()->pixelMetric(QStyle::PM_ButtonMargin, &option, &button);
}

// Every control in the form's design font, 8.25 point "MS Sans Serif" or the
// font that stands in for it; a caption that would still not fit its control
// is narrowed until it shows whole.
template <typename Widget> Widget* place(QWidget* parent, const options::Control& control) {
    auto* made = new Widget(QString::fromLatin1(control.caption), parent);
    made->setObjectName(QLatin1String(control.designName));
    made->setGeometry(toPixels(control.place));
    made->setFont(cardFont(8.25, false));
    if constexpr (std::is_base_of_v<QAbstractButton, Widget>)
        made->setFont(fittedFont(made->font(), made->text(), captionRoom(*made)));
    return made;
}

} // namespace

// The controls are made in their tab order, which gives Qt's focus chain.
OptionsWindow::OptionsWindow(Options& options, FileChooser& chooser, QString soundsDir)
    : QWidget(nullptr)
    , options_(options)
    , chooser_(chooser)
    , soundsDir_(std::move(soundsDir))
    , stayOnTopBox_(place<OptionBox>(this, options::kStayOnTop))
    , playWinSoundBox_(place<OptionBox>(this, options::kPlayWinSound))
    , playLoseSoundBox_(place<OptionBox>(this, options::kPlayLoseSound))
    , closeButton_(place<QPushButton>(this, options::kClose))
    , winSoundButton_(place<QPushButton>(this, options::kChooseWinSound))
    , loseSoundButton_(place<QPushButton>(this, options::kChooseLoseSound))
    , winSoundPath_(place<QLineEdit>(this, options::kWinSoundPath))
    , loseSoundPath_(place<QLineEdit>(this, options::kLoseSoundPath)) {
    setObjectName(QLatin1String(options::kFormName));
    setWindowTitle(QStringLiteral("Options"));
    // The title bar of so small a window has room for its caption only beside a close button;
    // where a window manager draws more and cuts it, it reads whole between the controls.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setToolTip(windowTitle());
    const int side = toPixels(options::kClientTwips);
    setFixedSize(side, side);

    connect(stayOnTopBox_, &QCheckBox::clicked, this, &OptionsWindow::stayOnTopClicked);
    connect(playWinSoundBox_, &QCheckBox::clicked, this, &OptionsWindow::playWinSoundClicked);
    connect(playLoseSoundBox_, &QCheckBox::clicked, this, &OptionsWindow::playLoseSoundClicked);
    connect(closeButton_, &QPushButton::clicked, this, &OptionsWindow::closeAndSave);
    connect(winSoundButton_, &QPushButton::clicked, this, &OptionsWindow::chooseWinSound);
    connect(loseSoundButton_, &QPushButton::clicked, this, &OptionsWindow::chooseLoseSound);
    // The path boxes lie out of sight: the player sets them through Select Sound, and no Tab
    // stops there.
    for (QLineEdit* path : {winSoundPath_, loseSoundPath_})
        path->setFocusPolicy(Qt::NoFocus);
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        stayOnTopBox_->setToolTip(QStringLiteral(
            "Wayland lets no program keep its windows above the others: the box is kept in "
            "Settings.txt and takes effect on X11 only."));
    render();
}

void OptionsWindow::render() {
    stayOnTopBox_->setCheckState(boxState(options_.stayOnTop));
    playWinSoundBox_->setCheckState(boxState(options_.playWinSound));
    playLoseSoundBox_->setCheckState(boxState(options_.playLoseSound));
    // Unchanged text is left alone so that a cursor in the box keeps its place.
    if (winSoundPath_->text() != options_.winSoundFile)
        winSoundPath_->setText(options_.winSoundFile);
    if (loseSoundPath_->text() != options_.loseSoundFile)
        loseSoundPath_->setText(options_.loseSoundFile);
    winSoundButton_->setToolTip(options_.winSoundFile.isEmpty() ? kNoFileChosen
                                                                : options_.winSoundFile);
    loseSoundButton_->setToolTip(options_.loseSoundFile.isEmpty() ? kNoFileChosen
                                                                  : options_.loseSoundFile);
}

void OptionsWindow::takeBox(QCheckBox* box, CheckState Options::*value) {
    options_.*value = boxValue(box->checkState());
}

void OptionsWindow::stayOnTopClicked() {
    takeBox(stayOnTopBox_, &Options::stayOnTop);
    emit stayOnTopChanged();
}

void OptionsWindow::playWinSoundClicked() {
    takeBox(playWinSoundBox_, &Options::playWinSound);
}

void OptionsWindow::playLoseSoundClicked() {
    takeBox(playLoseSoundBox_, &Options::playLoseSound);
}

void OptionsWindow::chooseWinSound() {
    selectSound(&Options::winSoundFile);
}

void OptionsWindow::chooseLoseSound() {
    selectSound(&Options::loseSoundFile);
}

// A chosen file is taken only when it can be opened for reading; otherwise the
// player is told why and the option stays as it was.
void OptionsWindow::selectSound(QString Options::*sound) {
    chooser_.chooseFile(this, openDialogTitle(), kWaveFilter, soundFolder(options_.*sound),
                        [self = QPointer<OptionsWindow>(this), sound](const QString& chosen) {
                            if (!self || chosen.isEmpty())
                                return;
                            QString message;
                            if (!checkReadable(chosen, &message)) {
                                emit self->problem(message);
                                return;
                            }
                            self->options_.*sound = chosen;
                            self->render();
                        });
}

QString OptionsWindow::soundFolder(const QString& currentFile) const {
    if (!currentFile.isEmpty()) {
        const QFileInfo current(currentFile);
        if (current.absoluteDir().exists())
            return current.absolutePath();
    }
    return soundsDir_;
}

void OptionsWindow::closeAndSave() {
    emit saveRequested();
    hide();
}

void OptionsWindow::closeEvent(QCloseEvent* event) {
    closeAndSave();
    event->accept();
}

void OptionsWindow::keyPressEvent(QKeyEvent* event) {
    if (closesDialog(*event, Qt::Key_O)) {
        close();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        closeButton_->click();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void OptionsWindow::showEvent(QShowEvent* event) {
    render();
    QWidget::showEvent(event);
}

} // namespace jackwell

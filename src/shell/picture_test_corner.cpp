#include "shell/picture_test_corner.h"

#include "settings/file_chooser.h"
#include "settings/readable_file.h"
#include "shell/card_layout.h"
#include "shell/pictures.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace jackwell {

namespace {

const QString kImageFilter = QStringLiteral("Image Files (*.bmp *.jpg *.gif)");
constexpr int kStartSymbol = 4; // the picture the box starts with

// Each button's caption is its design name; a screen reader, which finds it beyond the card's
// edge, hears what it does. Out of the player's sight, it is no Tab stop either: a Space there
// would open a file dialog the player never asked for.
QPushButton* button(QWidget& parent, const char* name, const char* spoken, Twips place) {
    auto* made = new QPushButton(QLatin1String(name), &parent);
    made->setObjectName(QLatin1String(name));
    made->setAccessibleName(QLatin1String(spoken));
    made->setGeometry(toPixels(place));
    made->setFocusPolicy(Qt::NoFocus);
    return made;
}

} // namespace

PictureTestCorner::PictureTestCorner(QWidget& mainWindow, FileChooser& chooser, Report report)
    : QObject(&mainWindow)
    , chooser_(chooser)
    , report_(std::move(report))
    , pictureBox_(new QLabel(&mainWindow))
    , chooseButton_(button(mainWindow, card::kCornerChooseButtonName,
                           "Picture test: choose a picture", card::kCornerChooseButton))
    , showButton_(button(mainWindow, card::kCornerShowButtonName,
                         "Picture test: show the first extra picture", card::kCornerShowButton)) {
    setObjectName(QStringLiteral("PictureTestCorner"));
    pictureBox_->setObjectName(QLatin1String(card::kCornerPictureBoxName));
    pictureBox_->setAccessibleName(QStringLiteral("Picture test"));
    pictureBox_->setGeometry(toPixels(card::kCornerPictureBox));
    pictureBox_->setPixmap(renderSvg(
        QStringLiteral(":/assets/symbols/%1.svg").arg(kStartSymbol, 2, 10, QLatin1Char('0')),
        pictureBox_->size()));
    connect(chooseButton_, &QPushButton::clicked, this, &PictureTestCorner::choosePicture);
    connect(showButton_, &QPushButton::clicked, this, &PictureTestCorner::showFirstPicture);
}

void PictureTestCorner::choosePicture() {
    chooser_.chooseFile(chooseButton_->window(), openDialogTitle(), kImageFilter, QString(),
                        [self = QPointer<PictureTestCorner>(this)](const QString& chosen) {
                            QString message;
                            if (self && !chosen.isEmpty() && !checkReadable(chosen, &message))
                                self->report_(message);
                        });
}

void PictureTestCorner::showFirstPicture() {
    if (!extraPictures_.isEmpty())
        pictureBox_->setPixmap(extraPictures_.first());
}

} // namespace jackwell

#include "shell/picture_test_corner.h"

#include "settings/file_chooser.h"
#include "settings/readable_file.h"
#include "shell/twips_rect.h"

#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSvgRenderer>

namespace jackwell {

namespace {

const QString kImageFilter = QStringLiteral("Image Files (*.bmp *.jpg *.gif)");
constexpr int kStartSymbol = 4; // the picture PictureTest starts with

QPixmap symbolPicture(int symbol, QSize size) {
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QSvgRenderer svg(
        QStringLiteral(":/assets/symbols/%1.svg").arg(symbol, 2, 10, QLatin1Char('0')));
    QPainter painter(&picture);
    svg.render(&painter);
    return picture;
}

QPushButton* button(QWidget& parent, const char* name, QRect rect) {
    auto* made = new QPushButton(QLatin1String(name), &parent);
    made->setObjectName(QLatin1String(name));
    made->setGeometry(rect);
    return made;
}

} // namespace

PictureTestCorner::PictureTestCorner(QWidget& mainWindow, FileChooser& chooser, Report report)
    : QObject(&mainWindow)
    , chooser_(chooser)
    , report_(std::move(report))
    , PictureTest(new QLabel(&mainWindow))
    , Command1(button(mainWindow, "Command1", twipsRect(3720, 2520, 855, 255)))
    , Command2(button(mainWindow, "Command2", twipsRect(3720, 4080, 855, 495))) {
    setObjectName(QStringLiteral("PictureTestCorner"));
    PictureTest->setObjectName(QStringLiteral("PictureTest"));
    PictureTest->setGeometry(twipsRect(3720, 1560, 735, 735));
    PictureTest->setPixmap(symbolPicture(kStartSymbol, PictureTest->size()));
    connect(Command1, &QPushButton::clicked, this, &PictureTestCorner::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &PictureTestCorner::Command2_Click);
}

void PictureTestCorner::Command1_Click() {
    chooser_.chooseFile(Command1->window(), openDialogTitle(), kImageFilter,
                        [self = QPointer<PictureTestCorner>(this)](const QString& chosen) {
                            QString message;
                            if (self && !chosen.isEmpty() && !checkReadable(chosen, &message))
                                self->report_(message);
                        });
}

void PictureTestCorner::Command2_Click() {
    if (!ImageList2.isEmpty())
        PictureTest->setPixmap(ImageList2.first());
}

} // namespace jackwell

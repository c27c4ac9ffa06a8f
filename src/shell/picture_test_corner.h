#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>

#include <functional>

class QLabel;
class QPushButton;
class QWidget;

namespace jackwell {

class FileChooser;

// A corner for trying out pictures, beyond the right edge of the main window
// where the player does not see it: a picture box showing symbol 4 and two
// buttons. Its controls are children of the main window; this object is one too.
class PictureTestCorner : public QObject {
    Q_OBJECT

public:
    using Report = std::function<void(const QString& message)>;

    // `chooser` must outlive the corner; `report` shows a message to the player.
    PictureTestCorner(QWidget& mainWindow, FileChooser& chooser, Report report);

    // Asks for an image file and checks that it can be read; nothing is shown.
    void choosePicture();
    // Shows the first of the extra pictures in the picture box, when there is one.
    void showFirstPicture();

    QLabel& pictureBox() const { return *pictureBox_; }

private:
    FileChooser& chooser_;
    Report report_;
    QLabel* pictureBox_;
    QPushButton* chooseButton_;
    QPushButton* showButton_;
    QList<QPixmap> extraPictures_; // holds no pictures
};

} // namespace jackwell

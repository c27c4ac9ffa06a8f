#pragma once

#include "settings/options.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace jackwell {

class FileChooser;

// The options window: shows and edits the options the program holds. An edit
// takes effect at once: Stay On Top is announced for the program to pin or
// release the main window, and the evaluation reads the sound options when it
// plays. Every way the window closes asks for the settings file to be written.
// The window is a top-level window of its own, never pinned on top. Esc closes it, and Return
// presses Close.
class OptionsWindow : public QWidget {
    Q_OBJECT

public:
    // The options and the chooser must outlive the window. Select Sound opens in
    // the folder of the sound chosen so far, or else in `soundsDir`.
    OptionsWindow(Options& options, FileChooser& chooser, QString soundsDir);

    // Brings the controls in line with the options.
    void render();

    // The controls' clicks; options_layout.h maps each control to its design name.
    void stayOnTopClicked();
    void playWinSoundClicked();
    void playLoseSoundClicked();
    void chooseWinSound();
    void chooseLoseSound();
    // "Close", and every other way the window closes (title bar, shutdown): asks
    // for the settings file to be written and hides the window.
    void closeAndSave();

signals:
    // The player clicked Stay On Top; the options hold its new value.
    void stayOnTopChanged();
    // The options are to be written to the settings file.
    void saveRequested();
    // A message for the player (a chosen file that cannot be read).
    void problem(const QString& message);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void selectSound(QString Options::*sound);
    void takeBox(QCheckBox* box, CheckState Options::*value);
    QString soundFolder(const QString& currentFile) const;

    Options& options_;
    FileChooser& chooser_;
    QString soundsDir_;
    QCheckBox* stayOnTopBox_;
    QCheckBox* playWinSoundBox_;
    QCheckBox* playLoseSoundBox_;
    QPushButton* closeButton_;
    QPushButton* winSoundButton_;
    QPushButton* loseSoundButton_;
    QLineEdit* winSoundPath_;
    QLineEdit* loseSoundPath_;
};

} // namespace jackwell

#pragma once

#include "settings/options.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace jackwell {

class FileChooser;
class JackwellApp;

// The options window: shows and edits the options the program holds
// (JackwellApp::options()). An edit takes effect at once: Stay On Top pins or
// releases the main window, and the evaluation reads the sound options when it
// plays. The settings file is written when the window is closed. The window is
// a top-level window of its own, never pinned on top.
class OptionsWindow : public QWidget {
    Q_OBJECT

public:
    // Both must outlive the window.
    OptionsWindow(JackwellApp& app, FileChooser& chooser);

    // Brings the controls in line with the options.
    void render();

    // The controls' clicks; options_layout.h maps each control to its design name.
    void stayOnTopClicked();
    void playWinSoundClicked();
    void playLoseSoundClicked();
    void chooseWinSound();
    void chooseLoseSound();
    // "Close", and every other way the window closes (title bar, shutdown): writes the
    // settings file and hides the window.
    void closeAndSave();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void selectSound(QString Options::*sound);
    void takeBox(QCheckBox* box, int Options::*value);

    JackwellApp& app_;
    FileChooser& chooser_;
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

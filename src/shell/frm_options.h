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
class frmOptions : public QWidget {
    Q_OBJECT

public:
    // Both must outlive the window.
    frmOptions(JackwellApp& app, FileChooser& chooser);

    // Brings the controls in line with the options.
    void render();

    void Check1_Click();   // "Stay On Top"
    void Check2_Click();   // "Play Winning Sound"
    void Check3_Click();   // "Play Lossing Sound"
    void Command1_Click(); // "Close": writes the settings file and hides the window
    void Command2_Click(); // "Select Sound" for the winning sound (Text1)
    void Command3_Click(); // "Select Sound" for the losing sound (Text2)
    // Closing other than through "Close" (title bar, shutdown): the same as "Close".
    void Form_Unload();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void selectSound(QString Options::*sound);
    void takeBox(QCheckBox* box, int Options::*value);

    JackwellApp& app_;
    FileChooser& chooser_;
    QCheckBox* Check1;
    QCheckBox* Check2;
    QCheckBox* Check3;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QLineEdit* Text1;
    QLineEdit* Text2;
};

} // namespace jackwell

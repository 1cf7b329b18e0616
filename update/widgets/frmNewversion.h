#pragma once

#include "platform/AppPaths.h"

#include <QDialog>

class QLabel;
class QPushButton;
class ShellOpen;

// The new-version notice: Label1 takes the notice text, "Download" hands the
// installer's URL on the update server to the desktop's browser, "Cancel"
// only hides the window.  It is modeless: the main window stays usable.
class frmNewversion : public QDialog
{
    Q_OBJECT
public:
    // shell must outlive the window; the installer's URL is on the update
    // server of the application folder paths.
    frmNewversion(ShellOpen &shell, AppPaths paths, QWidget *parent = nullptr);

    void Command1_Click();
    void Command2_Click();

    QLabel *Label1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;

private:
    ShellOpen &m_shell;
    AppPaths m_paths;
};

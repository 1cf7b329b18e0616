#include "update/widgets/frmNewversion.h"

#include "platform/ShellOpen.h"
#include "update/UpdateServer.h"

#include <QLabel>
#include <QPushButton>

namespace {
// Layout lengths are in twips, 15 to a pixel.
QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}
} // namespace

frmNewversion::frmNewversion(ShellOpen &shell, AppPaths paths, QWidget *parent)
    : QDialog(parent), m_shell(shell), m_paths(std::move(paths))
{
    setObjectName(QStringLiteral("frmNewversion"));
    setWindowTitle(QStringLiteral("INFO"));
    setModal(false);
    setFixedSize(4680 / 15, 1965 / 15);

    Label1 = new QLabel(this);
    Label1->setGeometry(twipsRect(120, 240, 4455, 375));
    Label1->setWordWrap(true);
    Command1 = new QPushButton(QStringLiteral("Download"), this);
    Command1->setGeometry(twipsRect(600, 1080, 1095, 495));
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    Command2->setGeometry(twipsRect(2760, 1080, 1095, 495));
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);
    connect(Command1, &QPushButton::clicked, this, &frmNewversion::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmNewversion::Command2_Click);
}

void frmNewversion::Command1_Click()
{
    hide();
    // The browser fetches the installer; its outcome is not ours to report.
    m_shell.openUrl(QUrl(updateServerUrl(m_paths, QStringLiteral("/files/Torvakine_Setup.exe"))));
}

void frmNewversion::Command2_Click()
{
    hide();
}

#include "app/ModAvvio.h"

#include "app/Form1.h"
#include "app/frmSplash.h"
#include "platform/SingleInstance.h"
#include "platform/StartupState.h"

#include <QApplication>
#include <QMessageBox>

#include <memory>

namespace {
std::unique_ptr<SingleInstance> &heldLock()
{
    static std::unique_ptr<SingleInstance> lock;
    return lock;
}
} // namespace

bool CheckSingleInstance()
{
    if (heldLock())
        return true;
    auto lock = std::make_unique<SingleInstance>(applicationFolder());
    if (!lock->tryAcquire()) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Torvakine"),
                        QStringLiteral("Another instance of this program is already open."),
                        QMessageBox::Ok);
        box.exec();
        return false;
    }
    heldLock() = std::move(lock);
    return true;
}

void releaseSingleInstance()
{
    heldLock().reset();
}

int runTorvakine()
{
    // The loading window closes before the main window opens: the program
    // ends when the main window closes, or when a second instance is refused.
    QApplication::setQuitOnLastWindowClosed(false);
    frmSplash splash;
    std::unique_ptr<Form1> main;
    splash.setAfterLoad([&main] {
        main = std::make_unique<Form1>();
        main->Form_Load();
        main->show();
    });
    splash.show();
    return QApplication::exec();
}

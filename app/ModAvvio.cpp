#include "app/ModAvvio.h"

#include "app/Form1.h"
#include "app/frmSplash.h"
#include "platform/AppPaths.h"
#include "platform/SingleInstance.h"

#include <QApplication>
#include <QMessageBox>

std::unique_ptr<SingleInstance> CheckSingleInstance(const QString &folder)
{
    auto lock = std::make_unique<SingleInstance>(folder);
    if (!lock->tryAcquire()) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Torvakine"),
                        QStringLiteral("Another instance of this program is already open."),
                        QMessageBox::Ok);
        box.exec();
        return nullptr;
    }
    return lock;
}

int runTorvakine()
{
    // The loading window closes before the main window opens: the program
    // ends when the main window closes, or when a second instance is refused.
    QApplication::setQuitOnLastWindowClosed(false);
    const AppPaths paths = AppPaths::forFolder(AppPaths::executableFolder());
    std::unique_ptr<SingleInstance> lock;
    frmSplash splash(paths);
    std::unique_ptr<Form1> main;
    splash.setSingleInstanceCheck([&] {
        lock = CheckSingleInstance(paths.AppFolder);
        return lock != nullptr;
    });
    splash.setAfterLoad([&](DatabaseTables loaded) {
        main = std::make_unique<Form1>(paths, std::move(loaded));
        main->Form_Load();
        main->show();
    });
    splash.show();
    return QApplication::exec();
}

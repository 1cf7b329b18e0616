#include "app/ModAvvio.h"

#include "app/Form1.h"
#include "app/WindowPlacement.h"
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
    // ends when the main window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    const DataFolderResult folders = resolveDataFolders(DataFolderInputs::fromProcess(QString()));
    if (!folders.ok()) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Torvakine"), folders.error,
                        QMessageBox::Ok);
        box.exec();
        return 2;
    }
    const AppPaths paths = AppPaths::forFolders(folders.folders);
    std::unique_ptr<SingleInstance> lock;
    frmSplash splash(paths);
    std::unique_ptr<Form1> main;
    splash.setSingleInstanceCheck([&] {
        lock = CheckSingleInstance(paths.DataFolder);
        return lock != nullptr;
    });
    splash.setAfterLoad([&](DatabaseTables loaded) {
        main = std::make_unique<Form1>(paths, std::move(loaded));
        main->Form_Load();
        centreOnScreen(*main);
        main->show();
    });
    splash.show();
    // The start-up work runs here, before the event loop: a refused second
    // start then ends as soon as its message box is answered, whatever
    // events showing the loading window has already let run.
    if (!splash.Form_Activate())
        return 0;
    return QApplication::exec();
}

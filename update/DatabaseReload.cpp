#include "update/DatabaseReload.h"

#include "databases/DatabaseLoader.h"
#include "databases/DatabaseTables.h"
#include "platform/EventPump.h"
#include "platform/SYSInfo.h"
#include "platform/StartupState.h"
#include "platform/TextFiles.h"
#include "update/UpdateFlags.h"

#include <QDateTime>
#include <QLocale>

namespace {
void writeUpdDat()
{
    const QString now =
        QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    TextFiles::writeAtomically(startupState().UpdDatPath, TextFiles::toLocal8Bit(now) + "\r\n");
}

void emptyTables()
{
    DatabaseTables &t = databaseTables();
    t.CookDbEntries = QStringList{QString()};
    t.RegDbEntries = QStringList{QString()};
    t.MemDbEntries = QStringList{QString()};
    t.TrojSigEntries = QStringList{QString()};
}
} // namespace

void reloadDatabases(ProgressIndicator &bar, const DatabaseReloadHooks &hooks)
{
    StartupState &s = startupState();
    EventPump::processPendingEventsNow();
    if (updateFlags().UpdateInstalled)
        writeUpdDat();
    emptyTables();
    if (hooks.reloadStarted)
        hooks.reloadStarted();
    LoadDatabases(bar);
    // The folder tokens are expanded as at start-up, so a reloaded pattern
    // such as "%system%\bad.dll" matches as it did before the update.
    if (s.SystemFolder.isEmpty())
        s.SystemFolder = GetSystemFolder().toLower();
    if (s.WindowsFolder.isEmpty())
        s.WindowsFolder = GetWindowsFolder().toLower();
    ExpandFolderTokens();
    if (hooks.databasesLoaded)
        hooks.databasesLoaded();
    EventPump::processPendingEventsNow();
    PreparoVersioni();
    bool ok = false;
    const QByteArray line = TextFiles::readFirstLine(s.UpdDatPath, &ok);
    if (ok)
        s.LastUpdateText = TextFiles::fromLocal8Bit(line);
    if (hooks.reloadFinished)
        hooks.reloadFinished();
}

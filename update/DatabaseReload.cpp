#include "update/DatabaseReload.h"

#include "databases/DatabaseLoader.h"
#include "platform/AppPaths.h"
#include "platform/FileWriter.h"
#include "platform/TextFiles.h"

#include <QDateTime>
#include <QLocale>

namespace {
bool writeUpdDat(const AppPaths &paths, FileWriter &files)
{
    const QString now =
        QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    return files.replaceFile(paths.UpdDatPath, TextFiles::toLocal8Bit(now) + "\r\n");
}

// The tables of previous without their entries: what the load starts from.
DatabaseTables emptiedTables(const DatabaseTables &previous)
{
    DatabaseTables t = previous;
    t.CookDbEntries = QStringList{QString()};
    t.RegDbEntries = QStringList{QString()};
    t.MemDbEntries = QStringList{QString()};
    t.TrojSigEntries = QStringList{QString()};
    return t;
}

void call(const std::function<void()> &hook)
{
    if (hook)
        hook();
}
} // namespace

ReloadResult reloadDatabases(const AppPaths &paths, const DatabaseTables &previous,
                             bool updateInstalled, FileWriter &files, ProgressIndicator &bar,
                             const DatabaseReloadHooks &hooks)
{
    call(hooks.processEvents);
    const bool updDatSaved = !updateInstalled || writeUpdDat(paths, files);
    DatabaseTables tables = emptiedTables(previous);
    call(hooks.reloadStarted);
    LoadDatabases(paths, tables, bar);
    prepareLoadedTables(tables);
    if (hooks.databasesLoaded)
        hooks.databasesLoaded(tables);
    call(hooks.processEvents);
    ReloadResult result;
    result.engine = makeEngine(std::move(tables));
    result.updDatSaved = updDatSaved;
    bool ok = false;
    const QByteArray line = TextFiles::readFirstLine(paths.UpdDatPath, &ok);
    if (ok)
        result.LastUpdateText = TextFiles::fromLocal8Bit(line);
    return result;
}

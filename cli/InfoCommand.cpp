#include "cli/InfoCommand.h"

#include "cli/CliOutput.h"
#include "cli/CliSession.h"

const char *const kInfoHelp =
    "usage: torvakine-cli info [--app-folder DIR]\n"
    "\n"
    "Prints, for each database, its file name, whether it loaded, its version and\n"
    "its number of entries.  Exit status: 0, or 2 when the folder is missing.";

int runInfoCommand(const QStringList &args)
{
    QString appFolder;
    if (!CliSession::parseAppFolderOnly(args, kInfoHelp, &appFolder))
        return 2;
    const std::optional<CliSession> session = CliSession::start(appFolder);
    if (!session)
        return 2;
    const DatabaseTables &t = session->engine->tables();
    const auto line = [](const char *file, bool loaded, const QString &version, qint32 count) {
        CliOutput::out(QStringLiteral("%1\t%2\t%3\t%4")
                           .arg(QLatin1String(file),
                                loaded ? QStringLiteral("loaded") : QStringLiteral("not loaded"),
                                version.isEmpty() ? QStringLiteral("-") : version)
                           .arg(count));
    };
    line("cookdb.dat", t.CookDbLoaded, t.CookDbVersion, t.CookDbCount);
    line("trojsig.dat", t.TrojSigLoaded, t.TrojSigVersion, t.TrojSigCount);
    line("regdb.dat", t.RegDbLoaded, t.RegDbVersion, t.RegDbCount);
    return 0;
}

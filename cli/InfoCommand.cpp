#include "cli/InfoCommand.h"

#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/JsonLines.h"
#include "platform/HelperProgram.h"
#include "platform/TextFiles.h"

#include <QDir>
#include <QJsonObject>

#include <array>

const char *const kInfoHelp =
    "usage: torvakine-cli info [--app-folder DIR] [--format text|json]\n"
    "\n"
    "Prints, for each database, its file name, whether it loaded, its version and\n"
    "its number of entries, then the folder the program reads its data from, the\n"
    "folder it writes into, the date of the last database update and (on Linux)\n"
    "the hive helper that registry removals use.\n"
    "\n"
    "  --app-folder DIR  the folder to read from (see scan --help)\n"
    "  --format json     JSON Lines: one object per database, then a summary\n"
    "\n"
    "Exit status: 0, or 2 when a folder is missing or cannot be used.";

namespace {

constexpr const char *kCommand = "info";

// What info tells of the data in use.
struct InfoFacts {
    struct Database {
        const char *file;
        bool loaded;
        QString version;
        qint32 entries;
        QString path; // the file that was read
    };
    std::array<Database, 3> databases;
    DataFolders folders;
    QString lastUpdate; // empty: none recorded
    QString hiveHelper; // empty: not found
};

InfoFacts factsOf(const CliSession &session)
{
    const DatabaseTables &t = session.engine->tables();
    const AppPaths &paths = session.paths;
    const auto database = [&paths](const char *file, bool loaded, const QString &version,
                                   qint32 entries) {
        return InfoFacts::Database{file, loaded, version, entries,
                                   paths.readFile(QLatin1String(file))};
    };
    bool ok = false;
    const QByteArray lastUpdate = TextFiles::readFirstLine(paths.UpdDatPath, &ok);
    return {{database("cookdb.dat", t.CookDbLoaded, t.CookDbVersion, t.CookDbCount),
             database("trojsig.dat", t.TrojSigLoaded, t.TrojSigVersion, t.TrojSigCount),
             database("regdb.dat", t.RegDbLoaded, t.RegDbVersion, t.RegDbCount)},
            paths.folders,
            ok ? TextFiles::fromLocal8Bit(lastUpdate) : QString(),
            hiveHelperProgram()};
}

void printText(const InfoFacts &facts, const AppPaths &paths)
{
    const QString none = QStringLiteral("-");
    for (const InfoFacts::Database &d : facts.databases) {
        CliOutput::out(QStringLiteral("%1\t%2\t%3\t%4")
                           .arg(QLatin1String(d.file),
                                d.loaded ? QStringLiteral("loaded") : QStringLiteral("not loaded"),
                                d.version.isEmpty() ? none : d.version)
                           .arg(d.entries));
    }
    CliOutput::out(QStringLiteral("application folder\t") + paths.AppFolder);
    CliOutput::out(QStringLiteral("data folder\t") + paths.DataFolder);
    CliOutput::out(QStringLiteral("last update\t") +
                   (facts.lastUpdate.isEmpty() ? none : facts.lastUpdate));
#ifndef Q_OS_WIN
    CliOutput::out(QStringLiteral("hive helper\t") +
                   (facts.hiveHelper.isEmpty() ? none : facts.hiveHelper));
#endif
}

void printJson(const InfoFacts &facts)
{
    for (const InfoFacts::Database &d : facts.databases) {
        JsonLines::print({{QStringLiteral("type"), QStringLiteral("database")},
                          {QStringLiteral("file"), QLatin1String(d.file)},
                          {QStringLiteral("loaded"), d.loaded},
                          {QStringLiteral("version"), JsonLines::textOrNull(d.version)},
                          {QStringLiteral("entries"), d.entries},
                          {QStringLiteral("path"), QDir::toNativeSeparators(d.path)}});
    }
    QJsonObject summary = JsonLines::summary(kCommand, QString(), 0);
    summary.insert(QStringLiteral("mode"), facts.folders.mode == DataFolders::Mode::Portable
                                               ? QStringLiteral("portable")
                                               : QStringLiteral("installed"));
    summary.insert(QStringLiteral("read_folder"), facts.folders.readFolder);
    summary.insert(QStringLiteral("data_folder"), facts.folders.writeFolder);
    summary.insert(QStringLiteral("last_update"), JsonLines::textOrNull(facts.lastUpdate));
#ifndef Q_OS_WIN
    summary.insert(QStringLiteral("hive_helper"), JsonLines::textOrNull(facts.hiveHelper));
#endif
    JsonLines::print(summary);
}

} // namespace

int runInfoCommand(const QStringList &args)
{
    CommonOptions options;
    if (!parseCommonOptionsOnly(args, kCommand, kInfoHelp, &options))
        return 2;
    const std::optional<CliSession> session = CliSession::start(options, kCommand);
    if (!session)
        return 2;
    const InfoFacts facts = factsOf(*session);
    if (options.json())
        printJson(facts);
    else
        printText(facts, session->paths);
    return 0;
}

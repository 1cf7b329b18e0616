#include "cli/ScanCommand.h"

#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/TerminalProgress.h"
#include "platform/StartupState.h"
#include "removal/Removal.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanState.h"

#include <QDir>
#include <QFileInfo>

const char *const kScanHelp =
    "usage: torvakine-cli scan [--app-folder DIR] [--no-registry] [--remove] PATH\n"
    "\n"
    "Scans the folder PATH and everything below it: file names against the spyware\n"
    "database, file contents against the trojan signatures, cookies.txt files for\n"
    "tracking cookies and, unless --no-registry, the registry of the Windows\n"
    "installation whose root is PATH.  Writes the report into the Report folder of\n"
    "the application folder, prints one line per detection (threat name, a tab, the\n"
    "object with CR, LF and \\ written as \\r, \\n and \\\\) and the summary on\n"
    "standard error.\n"
    "\n"
    "  --app-folder DIR  application folder (databases, lang.dat, Report); default:\n"
    "                    the folder of this program\n"
    "  --no-registry     do not test the registry\n"
    "  --remove          remove everything found afterwards\n"
    "\n"
    "Exit status: 0 nothing found, 1 something found, 2 error.";

int runScanCommand(const QStringList &args)
{
    QString appFolder;
    QString path;
    bool registry = true;
    bool remove = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--app-folder") && i + 1 < args.size()) {
            appFolder = args[++i];
        } else if (a == QLatin1String("--no-registry")) {
            registry = false;
        } else if (a == QLatin1String("--remove")) {
            remove = true;
        } else if (a.startsWith(QLatin1String("--")) || !path.isEmpty()) {
            CliOutput::err(QStringLiteral("torvakine-cli: unexpected argument %1").arg(a));
            CliOutput::err(QString::fromLatin1(kScanHelp));
            return 2;
        } else {
            path = a;
        }
    }
    if (path.isEmpty()) {
        CliOutput::err(QString::fromLatin1(kScanHelp));
        return 2;
    }
    if (!QFileInfo(path).isDir()) {
        CliOutput::err(QStringLiteral("torvakine-cli: %1 is not a folder").arg(path));
        return 2;
    }
    if (!CliSession::start(appFolder))
        return 2;
    if (!CliSession::anyDatabaseLoaded()) {
        CliOutput::err(
            QStringLiteral("torvakine-cli: no database loaded from %1").arg(applicationFolder()));
        return 2;
    }

    QString root = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (!root.endsWith(QDir::separator()))
        root += QDir::separator();
    QString summary;
    {
        TerminalProgress progress(CliOutput::stderrIsTerminal());
        summary = ScanRun(progress).run(root, registry);
    }
    const ResultListModel &list = resultList();
    for (qsizetype i = 1; i <= list.count(); ++i)
        CliOutput::out(list.row(i).name + QLatin1Char('\t') +
                       CliOutput::escaped(list.row(i).location));
    CliOutput::err(summary);
    const bool found = scanState().DetectionCount > 0;
    if (remove && found)
        RemoveListedDetections();
    return found ? 1 : 0;
}

#include "cli/ScanCommand.h"

#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/TerminalProgress.h"
#include "platform/EventPump.h"
#include "removal/Removal.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"

#include <QDir>
#include <QFileInfo>

namespace {
// Folders and files that could not be read are named one a line up to this
// number; the rest are counted.
constexpr qsizetype kUnreadableLines = 100;
} // namespace

const char *const kScanHelp =
    "usage: torvakine-cli scan [--app-folder DIR] [--no-registry] [--remove] [--jobs N] PATH\n"
    "\n"
    "Scans the folder PATH and everything below it: file names against the spyware\n"
    "database, file contents against the trojan signatures, cookies.txt files for\n"
    "tracking cookies and, unless --no-registry, the registry of the Windows\n"
    "installation whose root is PATH.  Writes the report into the Report folder of\n"
    "the application folder, prints one line per detection (threat name, a tab, the\n"
    "object with CR, LF and \\ written as \\r, \\n and \\\\) and the summary on\n"
    "standard error, with \"Could not read: PATH\" for each folder or file that\n"
    "could not be read (at most 100, then their number).\n"
    "\n"
    "  --app-folder DIR  application folder (databases, lang.dat, Report); default:\n"
    "                    the folder of this program\n"
    "  --no-registry     do not test the registry\n"
    "  --remove          remove everything found afterwards\n"
    "  --jobs N          read and digest files on N threads (default: one per\n"
    "                    processor; 1 reads them on the scanning thread)\n"
    "\n"
    "Exit status: 0 nothing found, 1 something found, 2 error, or nothing found\n"
    "while part of the tree could not be read.";

int runScanCommand(const QStringList &args)
{
    QString appFolder;
    QString path;
    bool registry = true;
    bool remove = false;
    int jobs = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--app-folder") && i + 1 < args.size()) {
            appFolder = args[++i];
        } else if (a == QLatin1String("--no-registry")) {
            registry = false;
        } else if (a == QLatin1String("--remove")) {
            remove = true;
        } else if (a == QLatin1String("--jobs") && i + 1 < args.size()) {
            bool ok = false;
            jobs = args[++i].toInt(&ok);
            if (!ok || jobs < 1 || jobs > 256) {
                CliOutput::err(
                    QStringLiteral("torvakine-cli: --jobs takes a number from 1 to 256"));
                return 2;
            }
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
    std::optional<CliSession> cli = CliSession::start(appFolder);
    if (!cli)
        return 2;
    if (!cli->engine->tables().anyLoaded()) {
        CliOutput::err(
            QStringLiteral("torvakine-cli: no database loaded from %1").arg(cli->paths.AppFolder));
        return 2;
    }

    QString root = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (!root.endsWith(QDir::separator()))
        root += QDir::separator();
    // The live line on a terminal is redrawn by a timer, which runs while
    // the scan lets events through.
    EventPump pump;
    ScanCallbacks callbacks;
    callbacks.processEvents = [&pump] { pump.processPendingEvents(); };
    ScanSession session(cli->engine, cli->paths, cli->texts, std::move(callbacks));
    if (jobs > 0)
        session.setWorkerThreads(jobs);
    QString summary;
    {
        TerminalProgress progress(session, CliOutput::stderrIsTerminal());
        session.setProgress(&progress);
        summary = ScanRun(session).run(root, registry);
        session.setProgress(nullptr);
    }
    const ResultListModel &list = session.results();
    for (qsizetype i = 1; i <= list.count(); ++i)
        CliOutput::out(list.row(i).name + QLatin1Char('\t') +
                       CliOutput::escaped(list.row(i).location));
    const QStringList &unreadable = session.unreadablePaths();
    for (const QString &p : unreadable.mid(0, kUnreadableLines))
        CliOutput::err(QStringLiteral("Could not read: ") + CliOutput::escaped(p));
    if (unreadable.size() > kUnreadableLines)
        CliOutput::err(QStringLiteral("torvakine-cli: %1 more could not be read")
                           .arg(unreadable.size() - kUnreadableLines));
    CliOutput::err(summary);
    const bool found = session.state().DetectionCount > 0;
    if (remove && found)
        RemoveListedDetections(session);
    return found ? 1 : (unreadable.isEmpty() ? 0 : 2);
}

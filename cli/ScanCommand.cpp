#include "cli/ScanCommand.h"

#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/JsonLines.h"
#include "cli/ScanNotification.h"
#include "cli/TerminalProgress.h"
#include "platform/DBusDesktopNotifier.h"
#include "platform/EventPump.h"
#include "removal/QuarantineStore.h"
#include "removal/Removal.h"
#include "scanner/AllowListFile.h"
#include "scanner/RecordDetection.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonObject>

namespace {
constexpr const char *kCommand = "scan";
// Folders and files that could not be read are named one a line up to this
// number; the rest are counted.
constexpr qsizetype kUnreadableLines = 100;

struct ScanOptions {
    CommonOptions common;
    QString path;
    bool registry = true;
    bool remove = false;
    bool quarantine = true;
    QStringList exclusions;
    bool notify = false;
    int jobs = 0; // 0: the session's default
};

// One detection as the scan listed it, kept for the output after a removal,
// which empties the list.
struct Detection {
    QString threat;
    QByteArray object; // the object text; a file's path in its own bytes
    const char *kind;  // "file", "registry" or "cookie"
};

// What a scan ended with.
struct ScanOutcome {
    QString root;
    QList<Detection> detections;
    QStringList unreadable;
    qsizetype allowed = 0;
    qsizetype excluded = 0;
    qint32 objects = 0;
    double bytes = 0;
    double seconds = 0;
    QString report;
    QString summary;
    bool removed = false;
    QString error; // empty, or why the command ends with status 2
    int exitCode = 0;
};

Detection detectionOf(const ResultListModel::Row &row)
{
    const char *kind = "file";
    if (row.location.startsWith(QLatin1String("HKEY")))
        kind = "registry";
    else if (row.found && row.found->isCookieFile)
        kind = "cookie";
    return {row.name, objectTextBytes(row.location, row.found), kind};
}

void printText(const ScanOutcome &o)
{
    for (const Detection &d : o.detections)
        CliOutput::out(CliOutput::field(d.threat) + QLatin1Char('\t') +
                       CliOutput::fieldBytes(d.object));
}

void printJson(const ScanOutcome &o)
{
    for (const Detection &d : o.detections) {
        QJsonObject detection{{QStringLiteral("type"), QStringLiteral("detection")},
                              {QStringLiteral("threat"), d.threat},
                              {QStringLiteral("kind"), QLatin1String(d.kind)}};
        JsonLines::putBytes(detection, QStringLiteral("object"), d.object);
        JsonLines::print(detection);
    }
    for (const QString &path : o.unreadable)
        JsonLines::print({{QStringLiteral("type"), QStringLiteral("unreadable")},
                          {QStringLiteral("path"), path}});
    QJsonObject summary = JsonLines::summary(kCommand, o.error, o.exitCode);
    summary.insert(QStringLiteral("root"), o.root);
    summary.insert(QStringLiteral("objects"), o.objects);
    summary.insert(QStringLiteral("bytes"), qint64(o.bytes));
    summary.insert(QStringLiteral("detections"), o.detections.size());
    summary.insert(QStringLiteral("unreadable"), o.unreadable.size());
    summary.insert(QStringLiteral("allowed"), o.allowed);
    summary.insert(QStringLiteral("excluded"), o.excluded);
    summary.insert(QStringLiteral("seconds"), o.seconds);
    summary.insert(QStringLiteral("report"), o.report);
    summary.insert(QStringLiteral("text"), o.summary);
    summary.insert(QStringLiteral("removed"), o.removed);
    JsonLines::print(summary);
}

// Reads the arguments; an empty text, or the first fault.
QString parseScanOptions(const QStringList &args, ScanOptions *o)
{
    QString fault;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        QString error;
        const CommonOptions::Read read = o->common.take(args, &i, &error);
        if (read == CommonOptions::Read::NotCommon) {
            if (a == QLatin1String("--no-registry")) {
                o->registry = false;
            } else if (a == QLatin1String("--remove")) {
                o->remove = true;
            } else if (a == QLatin1String("--no-quarantine")) {
                o->quarantine = false;
            } else if (a == QLatin1String("--exclude") && i + 1 < args.size()) {
                o->exclusions << args[++i];
            } else if (a == QLatin1String("--notify")) {
                o->notify = true;
            } else if (a == QLatin1String("--jobs") && i + 1 < args.size()) {
                bool ok = false;
                o->jobs = args[++i].toInt(&ok);
                if (!ok || o->jobs < 1 || o->jobs > 256)
                    error = QStringLiteral("--jobs takes a number from 1 to 256");
            } else if (a.startsWith(QLatin1String("--")) || !o->path.isEmpty()) {
                error = QStringLiteral("unexpected argument %1").arg(CliOutput::field(a));
            } else {
                o->path = a;
            }
        }
        if (fault.isEmpty())
            fault = error;
    }
    if (fault.isEmpty() && o->path.isEmpty())
        fault = QStringLiteral("no folder to scan");
    if (fault.isEmpty() && !o->quarantine && !o->remove)
        fault = QStringLiteral("--no-quarantine goes with --remove");
    return fault;
}

} // namespace

const char *const kScanHelp =
    "usage: torvakine-cli scan [--app-folder DIR] [--no-registry] [--remove [--no-quarantine]]\n"
    "                          [--exclude GLOB]... [--jobs N] [--notify] [--format text|json]\n"
    "                          PATH\n"
    "\n"
    "Scans the folder PATH and everything below it: file names against the spyware\n"
    "database, file contents against the trojan signatures, cookies.txt files for\n"
    "tracking cookies and, unless --no-registry, the registry of the Windows\n"
    "installation whose root is PATH.  Writes the report into the Report folder of\n"
    "the data folder, prints one line per detection (threat name, a tab, the\n"
    "object with CR, LF and \\ written as \\r, \\n and \\\\, every other control\n"
    "character and every byte that is not UTF-8 as \\xHH) and the summary on\n"
    "standard error, with \"Could not read: PATH\" for each folder or file that\n"
    "could not be read (at most 100, then their number).  Detections the allow\n"
    "list allows are not printed nor removed; the summary counts them.\n"
    "\n"
    "  --app-folder DIR  the folder to read the databases, lang.dat and Language\n"
    "                    from; written into too when it is writable (default: the\n"
    "                    program's own folder, or the installed data and the\n"
    "                    user's data folder)\n"
    "  --no-registry     do not test the registry\n"
    "  --remove          remove everything found afterwards into the quarantine\n"
    "                    (torvakine-cli quarantine restores it)\n"
    "  --no-quarantine   with --remove: delete for good instead\n"
    "  --exclude GLOB    do not enter or read paths that fit GLOB, as a path rule\n"
    "                    of the allow list (allow.dat) would; may be repeated\n"
    "  --jobs N          read and digest files on N threads (default: one per\n"
    "                    processor; 1 reads them on the scanning thread)\n"
    "  --notify          show a desktop notification with the summary when the\n"
    "                    scan ends (nothing without a session bus)\n"
    "  --format json     JSON Lines on standard output: one object per detection\n"
    "                    and per path that could not be read, then a summary\n"
    "\n"
    "Exit status: 0 nothing found, 1 something found, 2 error (the report could\n"
    "not be written, for one), or nothing found while part of the tree could not\n"
    "be read.";

int runScanCommand(const QStringList &args)
{
    ScanOptions options;
    const QString fault = parseScanOptions(args, &options);
    if (!fault.isEmpty())
        return options.common.cannotRun(kCommand, fault, kScanHelp);
    if (!QFileInfo(options.path).isDir())
        return options.common.cannotRun(
            kCommand, QStringLiteral("%1 is not a folder").arg(CliOutput::field(options.path)));
    std::optional<CliSession> cli = CliSession::start(options.common, kCommand);
    if (!cli)
        return 2;
    if (!cli->engine->tables().anyLoaded())
        return options.common.cannotRun(
            kCommand, QStringLiteral("no database loaded from %1").arg(cli->paths.AppFolder));

    ScanOutcome o;
    o.root = QDir::toNativeSeparators(QFileInfo(options.path).absoluteFilePath());
    QString root = o.root;
    if (!root.endsWith(QDir::separator()))
        root += QDir::separator();
    // The live line on a terminal is redrawn by a timer, which runs while
    // the scan lets events through.
    EventPump pump;
    ScanCallbacks callbacks;
    callbacks.processEvents = [&pump] { pump.processPendingEvents(); };
    ScanSession session(cli->engine, cli->paths, cli->texts, std::move(callbacks));
    if (options.jobs > 0)
        session.setWorkerThreads(options.jobs);
    session.setAllowList(
        readAllowList(cli->paths.writeFile(AllowListFile::fileName()), options.exclusions));
    {
        TerminalProgress progress(session, CliOutput::stderrIsTerminal());
        session.setProgress(&progress);
        QElapsedTimer clock;
        clock.start();
        o.summary = ScanRun(session).run(root, options.registry);
        o.seconds = double(clock.elapsed()) / 1000.0;
        session.setProgress(nullptr);
    }
    const ResultListModel &list = session.results();
    for (qsizetype i = 1; i <= list.count(); ++i)
        o.detections.append(detectionOf(list.row(i)));
    const ScanState &state = session.state();
    o.objects = state.ObjectsScanned;
    o.bytes = state.BytesScanned;
    o.unreadable = session.unreadablePaths();
    o.allowed = session.allowedDetections().size();
    o.excluded = session.excludedPaths().size();
    o.report = session.reportPath();
    const bool found = state.DetectionCount > 0;
    if (options.remove && found) {
        // Into the quarantine unless asked otherwise; without a usable
        // quarantine nothing is removed.
        std::unique_ptr<QuarantineStore> store;
        QString error;
        if (options.quarantine)
            store = QuarantineStore::open(cli->paths.DataFolder, true, &error);
        if (store || !options.quarantine) {
            RemoveListedDetections(session, store.get());
            o.removed = true;
        } else {
            o.error = QStringLiteral("nothing removed: ") + error;
        }
    }
    const ScanReport &report = session.report();
    if (report.writeFailed() && o.error.isEmpty())
        o.error = session.Lingua(ReportWriteFailedText) + QLatin1Char(' ') + report.failedPath();
    o.exitCode = !o.error.isEmpty() ? 2 : found ? 1 : (o.unreadable.isEmpty() ? 0 : 2);

    if (options.common.json())
        printJson(o);
    else
        printText(o);
    // Standard error tells the same in either format.
    for (const QString &p : o.unreadable.mid(0, kUnreadableLines))
        CliOutput::err(QStringLiteral("Could not read: ") + CliOutput::field(p));
    if (o.unreadable.size() > kUnreadableLines)
        CliOutput::err(QStringLiteral("torvakine-cli: %1 more could not be read")
                           .arg(o.unreadable.size() - kUnreadableLines));
    CliOutput::err(o.summary);
    if (!o.removed && options.remove && found)
        CliOutput::err(QStringLiteral("torvakine-cli: ") + o.error);
    if (report.writeFailed())
        CliOutput::err(QStringLiteral("torvakine-cli: ") + session.Lingua(ReportWriteFailedText) +
                       QLatin1Char(' ') + CliOutput::field(report.failedPath()));
    if (options.notify) {
        DBusDesktopNotifier notifier;
        notifyScanEnd(notifier, cli->texts, o.summary, state.DetectionCount, o.error);
    }
    return o.exitCode;
}

#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <functional>

class LanguageTexts;
struct DatabaseTables;
class ProgressIndicator;
class ScanSession;
struct ScanState;

// One scan of a drive or folder from the report header to the summary: the
// engine part of the scan command, shared by the window and the command-line
// tool.  Its results stay in the session.
class ScanRun
{
public:
    using TickSource = std::function<qint64()>;

    explicit ScanRun(ScanSession &session);

    // Milliseconds of a monotonic clock; tests inject their own.
    void setTickSource(TickSource ticks) { m_ticks = std::move(ticks); }

    // Runs the scan of root (ending with the native separator): report,
    // registry scan when withRegistry, file walk.  Returns the summary text,
    // which, like the end of the report, says when the scan was stopped and
    // when a database it needed was not loaded.
    QString run(const QString &root, bool withRegistry);

private:
    ScanSession &m_session;
    TickSource m_ticks;
};

// The size of one progress unit in bytes.
constexpr double kProgressUnit = 10240000.0;

// Sets bar's range to the used space of the drive that holds drvPath, in
// progress units.  A drive whose sizes cannot be read or whose used space is
// not above 0 gets an empty range: the bar then shows no progress.
void DiskInfo(const QString &drvPath, ProgressIndicator &bar);

// "Report " and the date and time in the locale's general date format, with
// every "/" and "." removed.
QString reportBaseNameFor(const QDateTime &when, const QLocale &locale);
// Stores the present time's report name in the session's ReportBaseName.  The
// name has whole seconds: the report's creation adds " (2)", " (3)"... to it
// when another scan of the same second took it (ScanReport::create).
void LogFileName(ScanSession &session);
// The locale's general date format: short date and long time.
QString generalDate(const QDateTime &when, const QLocale &locale);

// The drive list's entry (or a folder path) as the root path of a scan.
QString DriveRootPath(const QString &s);

// The file names of the databases a scan needs that tables has not loaded:
// the spyware and the trojan signature database, and the registry database
// when the registry is scanned too.
QStringList missingDatabases(const DatabaseTables &tables, bool withRegistry);

// The summary line: objects, Lingua(13), found, Lingua(14) and the duration
// in seconds (below 61 seconds after rounding) or in minutes.
QString scanSummary(const LanguageTexts &texts, qint32 objects, qint32 found, double seconds,
                    const QLocale &locale);
// What follows the summary when unreadable folders or files were met:
// Lingua(35) and their number; empty for none.
QString unreadableSuffix(const LanguageTexts &texts, qsizetype unreadable, const QLocale &locale);
// What follows the summary when the allow list allowed detections or its
// path rules left paths out: each text and its number, none for 0.
QString allowListSuffix(const LanguageTexts &texts, qsizetype allowed, qsizetype excluded,
                        const QLocale &locale);
// What follows the summary (and the unreadable suffix) when the scan could
// not be complete: " – " and Lingua(ScanIncompleteText) when databases were
// missing, " – " and Lingua(8) when the user stopped it.
QString endingSuffix(const LanguageTexts &texts, const ScanState &state);

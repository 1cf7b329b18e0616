#include "scanner/ScanRun.h"

#include "databases/DatabaseTables.h"
#include "platform/DriveList.h"
#include "platform/ProgressIndicator.h"
#include "scanner/FileWalk.h"
#include "scanner/RegistryScan.h"
#include "scanner/ScanSession.h"
#include "scanner/ScanState.h"

#include <QDir>
#include <QRegularExpression>

#include <chrono>
#include <cmath>

namespace {

QLocale groupingLocale(const QLocale &locale)
{
    QLocale l = locale;
    l.setNumberOptions(QLocale::DefaultNumberOptions);
    return l;
}

qint64 monotonicTicks()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

ScanRun::ScanRun(ScanSession &session) : m_session(session), m_ticks(monotonicTicks) {}

QString ScanRun::run(const QString &root, bool withRegistry)
{
    ScanState &s = m_session.state();
    SilentProgress noBar;
    ProgressIndicator &bar = m_session.progress() ? *m_session.progress() : noBar;
    s.BytesScanned = 0;
    m_session.results().clear();
    s.ScanRoot = root;
    s.RecurseSubfolders = true;
    s.DetectionCount = 0;
    s.ObjectsScanned = 0;
    s.StoppedByUser = false;
    s.MissingDatabases = missingDatabases(m_session.engine().tables(), withRegistry);
    m_session.clearUnreadable();
    m_session.clearAllowedAndExcluded();
    DiskInfo(s.ScanRoot, bar);
    LogFileName(m_session);

    QDir().mkpath(m_session.paths().ReportFolder);
    ScanReport &report = m_session.report();
    const QString taken = report.create(m_session.paths().ReportFolder, s.ReportBaseName);
    if (!taken.isEmpty())
        s.ReportBaseName = taken;
    report.writeLine(QStringLiteral("Torvakine Report ") +
                     generalDate(QDateTime::currentDateTime(), QLocale()));
    report.writeLine(QString(40, QLatin1Char('-')));
    report.writeLine(QStringLiteral(" "));

    const qint64 start = m_ticks();
    if (withRegistry) {
        s.RegistryScanActive = true;
        s.FileScanActive = false;
        ScanRegistry(m_session);
        s.RegistryScanActive = false;
    }
    if (!m_session.stopRequested()) {
        s.FileScanActive = true;
        ScanFolder(m_session, s.ScanRoot);
        s.FileScanActive = false;
    }
    const qint64 end = m_ticks();
    s.StoppedByUser = m_session.stopRequested();
    m_session.clearStop();
    const QStringList &unreadable = m_session.unreadablePaths();
    for (const QString &path : unreadable) {
        report.writeLine(m_session.Lingua(UnreadablePathText) + QLatin1Char(' ') + path);
        report.writeLine(reportRecordSeparator());
    }
    // Allowed detections are reported in a section of their own, never as
    // clean, and so are the paths left out.
    const QList<ScanSession::AllowedDetection> &allowed = m_session.allowedDetections();
    for (const ScanSession::AllowedDetection &a : allowed) {
        report.writeLine(m_session.Lingua(AllowedRecordText) + QLatin1Char(' ') + a.name.toUpper());
        report.writeLine(a.object);
        report.writeLine(reportRecordSeparator());
    }
    const QStringList &excluded = m_session.excludedPaths();
    for (const QString &path : excluded) {
        report.writeLine(m_session.Lingua(ExcludedPathText) + QLatin1Char(' ') + path);
        report.writeLine(reportRecordSeparator());
    }
    // The report, too, tells that the scan was not complete, and why.
    if (!s.MissingDatabases.isEmpty()) {
        report.writeLine(m_session.Lingua(MissingDatabasesText) + QLatin1Char(' ') +
                         s.MissingDatabases.join(QStringLiteral(", ")));
        report.writeLine(reportRecordSeparator());
    }
    if (s.StoppedByUser) {
        report.writeLine(m_session.Lingua(8));
        report.writeLine(reportRecordSeparator());
    }
    const QString summary =
        scanSummary(m_session.texts(), s.ObjectsScanned, s.DetectionCount,
                    double(end - start) / 1000.0, QLocale()) +
        unreadableSuffix(m_session.texts(), unreadable.size(), QLocale()) +
        allowListSuffix(m_session.texts(), allowed.size(), excluded.size(), QLocale()) +
        endingSuffix(m_session.texts(), s);
    report.close();
    bar.setVisible(false);
    return summary;
}

void DiskInfo(const QString &drvPath, ProgressIndicator &bar)
{
    const DriveList::Sizes sizes = DriveList::sizesOf(drvPath);
    qint64 used = 0;
    if (sizes.ok) {
        const qint64 freeUnits = std::llround(double(sizes.freeBytes) / kProgressUnit);
        const qint64 totalUnits = qint64(std::floor(double(sizes.totalBytes) / kProgressUnit));
        used = std::max<qint64>(0, totalUnits - freeUnits);
    }
    bar.setMinimum(0);
    bar.setMaximum(double(used));
    bar.setValue(0);
    bar.setVisible(true);
}

QString generalDate(const QDateTime &when, const QLocale &locale)
{
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b")));
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormat.trimmed());
}

QString reportBaseNameFor(const QDateTime &when, const QLocale &locale)
{
    QString name = QStringLiteral("Report ") + generalDate(when, locale);
    name.remove(QLatin1Char('/'));
    name.remove(QLatin1Char('.'));
    return name;
}

void LogFileName(ScanSession &session)
{
    session.state().ReportBaseName = reportBaseNameFor(QDateTime::currentDateTime(), QLocale());
}

QString DriveRootPath(const QString &text)
{
    QString s = text;
    const qsizetype label = s.lastIndexOf(QStringLiteral(" ["));
    if (label > 0 && s.endsWith(QLatin1Char(']')))
        s.truncate(label);
#ifdef Q_OS_WIN
    const qsizetype colon = s.indexOf(QLatin1Char(':'));
    if (s.size() > 2 && colon >= 1)
        s = s.mid(colon - 1, 2);
#endif
    if (!s.endsWith(QDir::separator()))
        s += QDir::separator();
    return s;
}

QString unreadableSuffix(const LanguageTexts &texts, qsizetype unreadable, const QLocale &locale)
{
    if (unreadable == 0)
        return {};
    return texts.Lingua(UnreadableCountText) + groupingLocale(locale).toString(qint64(unreadable));
}

QString allowListSuffix(const LanguageTexts &texts, qsizetype allowed, qsizetype excluded,
                        const QLocale &locale)
{
    const QLocale l = groupingLocale(locale);
    QString suffix;
    if (allowed > 0)
        suffix += texts.Lingua(AllowedCountText) + l.toString(qint64(allowed));
    if (excluded > 0)
        suffix += texts.Lingua(ExcludedCountText) + l.toString(qint64(excluded));
    return suffix;
}

QString scanSummary(const LanguageTexts &texts, qint32 objects, qint32 found, double seconds,
                    const QLocale &locale)
{
    const QLocale l = groupingLocale(locale);
    const QString secondsText = l.toString(seconds, 'f', 2);
    const double secondsValue = l.toDouble(secondsText);
    QString text = l.toString(objects) + QLatin1Char(' ') + texts.Lingua(13) + l.toString(found) +
                   QLatin1Char(' ') + texts.Lingua(14);
    if (std::nearbyint(secondsValue) < 61) {
        text += QLatin1Char(' ') + secondsText + QLatin1Char(' ') + texts.Lingua(16);
    } else {
        const double minutes = std::nearbyint(secondsValue / 60.0);
        text +=
            QLatin1Char(' ') + l.toString(qint64(minutes)) + QLatin1Char(' ') + texts.Lingua(15);
    }
    return text;
}

QStringList missingDatabases(const DatabaseTables &tables, bool withRegistry)
{
    QStringList missing;
    if (!tables.CookDbLoaded)
        missing << QStringLiteral("cookdb.dat");
    if (!tables.TrojSigLoaded)
        missing << QStringLiteral("trojsig.dat");
    if (withRegistry && !tables.RegDbLoaded)
        missing << QStringLiteral("regdb.dat");
    return missing;
}

QString endingSuffix(const LanguageTexts &texts, const ScanState &state)
{
    const QString dash = QStringLiteral(" \u2013 ");
    QString text;
    if (!state.MissingDatabases.isEmpty())
        text += dash + texts.Lingua(ScanIncompleteText);
    if (state.StoppedByUser)
        text += dash + texts.Lingua(8);
    return text;
}

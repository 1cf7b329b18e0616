#include "scanner/ScanRun.h"

#include "language/Lingua.h"
#include "platform/DriveList.h"
#include "platform/ProgressIndicator.h"
#include "platform/StartupState.h"
#include "scanner/FileWalk.h"
#include "scanner/RegistryScan.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanReport.h"
#include "scanner/ScanState.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>

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
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

} // namespace

ScanRun::ScanRun(ProgressIndicator &bar) : m_bar(bar), m_ticks(monotonicTicks) {}

QString ScanRun::run(const QString &root, bool withRegistry)
{
    ScanState &s = scanState();
    StartupState &startup = startupState();
    s.BytesScanned = 0;
    resultList().clear();
    s.ScanRoot = root;
    s.RecurseSubfolders = true;
    s.DetectionCount = 0;
    s.ObjectsScanned = 0;
    s.progressBar = &m_bar;
    DiskInfo(s.ScanRoot, m_bar);
    LogFileName();

    QDir().mkpath(startup.ReportFolder);
    ScanReport &report = scanReport();
    report.open(startup.ReportFolder + s.ReportBaseName + QStringLiteral(".txt"));
    report.writeLine(QStringLiteral("Torvakine Report ") +
                     generalDate(QDateTime::currentDateTime(), QLocale()));
    report.writeLine(QString(40, QLatin1Char('-')));
    report.writeLine(QStringLiteral(" "));

    const qint64 start = m_ticks();
    if (withRegistry) {
        s.RegistryScanActive = true;
        s.FileScanActive = false;
        ScanRegistry();
        s.RegistryScanActive = false;
    }
    if (!startup.StopRequested) {
        s.FileScanActive = true;
        ScanFolder(s.ScanRoot);
        s.FileScanActive = false;
    }
    const qint64 end = m_ticks();
    startup.StopRequested = false;
    const QString summary =
        scanSummary(s.ObjectsScanned, s.DetectionCount, double(end - start) / 1000.0, QLocale());
    report.close();
    m_bar.setVisible(false);
    s.progressBar = nullptr;
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

void LogFileName()
{
    // The name has whole seconds: a second scan within the same second gets
    // a numbered name instead of wiping the first one's report.
    const QString base = reportBaseNameFor(QDateTime::currentDateTime(), QLocale());
    QString name = base;
    for (int n = 2; QFileInfo::exists(startupState().ReportFolder + name + QStringLiteral(".txt"));
         ++n)
        name = base + QStringLiteral(" (%1)").arg(n);
    scanState().ReportBaseName = name;
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

QString scanSummary(qint32 objects, qint32 found, double seconds, const QLocale &locale)
{
    const QLocale l = groupingLocale(locale);
    const QString secondsText = l.toString(seconds, 'f', 2);
    const double secondsValue = l.toDouble(secondsText);
    QString text = l.toString(objects) + QLatin1Char(' ') + Lingua(13) + l.toString(found) +
                   QLatin1Char(' ') + Lingua(14);
    if (std::nearbyint(secondsValue) < 61) {
        text += QLatin1Char(' ') + secondsText + QLatin1Char(' ') + Lingua(16);
    } else {
        const double minutes = std::nearbyint(secondsValue / 60.0);
        text += QLatin1Char(' ') + l.toString(qint64(minutes)) + QLatin1Char(' ') + Lingua(15);
    }
    return text;
}

#include "scanner/RecordDetection.h"

#include "scanner/ScanSession.h"

void RecordDetection(ScanSession &session, const QString &name, const QString &object,
                     std::optional<FoundFile> found)
{
    ++session.state().DetectionCount;
    session.results().addRow(name, object, std::move(found));
    ScanReport &report = session.report();
    report.writeLine(session.Lingua(32) + QLatin1Char(' ') + name.toUpper());
    report.writeLine(object);
    report.writeLine(reportRecordSeparator());
}

#include "scanner/RecordDetection.h"

#include "scanner/ScanSession.h"

void RecordDetection(ScanSession &session, const QString &name, const QString &object,
                     const QByteArray &nativeObject)
{
    ++session.state().DetectionCount;
    session.results().addRow(name, object, nativeObject);
    ScanReport &report = session.report();
    report.writeLine(session.Lingua(32) + QLatin1Char(' ') + name.toUpper());
    report.writeLine(object);
    report.writeLine(reportRecordSeparator());
}

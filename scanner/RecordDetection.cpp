#include "scanner/RecordDetection.h"

#include "language/Lingua.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanReport.h"
#include "scanner/ScanState.h"

void RecordDetection(const QString &name, const QString &object, const QByteArray &nativeObject)
{
    ++scanState().DetectionCount;
    resultList().addRow(name, object, nativeObject);
    ScanReport &report = scanReport();
    report.writeLine(Lingua(32) + QLatin1Char(' ') + name.toUpper());
    report.writeLine(object);
    report.writeLine(reportRecordSeparator());
}

#include "scanner/RecordDetection.h"

#include "platform/VisibleText.h"
#include "scanner/ScanSession.h"

#include <QFile>

void RecordDetection(ScanSession &session, const QString &name, const QString &object,
                     std::optional<FoundFile> found, const std::optional<QByteArray> &sha256)
{
    const QByteArray objectBytes = objectTextBytes(object, found);
    const AllowList &allow = session.allowList();
    if (!allow.isEmpty() && allow.allows(name, objectBytes, sha256)) {
        session.recordAllowed(name, object);
        return;
    }
    VisibleText::Style style;
    style.doubleBackslash = false;
    style.keepTab = true;
    const QString visibleObject = QString::fromUtf8(VisibleText::fromUtf8Bytes(objectBytes, style));
    ++session.state().DetectionCount;
    session.results().addRow(name, object, std::move(found));
    ScanReport &report = session.report();
    report.writeLine(session.Lingua(32) + QLatin1Char(' ') + name.toUpper());
    report.writeLine(visibleObject);
    report.writeLine(reportRecordSeparator());
}

QByteArray objectTextBytes(const QString &object, const std::optional<FoundFile> &found)
{
    if (!found)
        return object.toUtf8();
    const QString path = QFile::decodeName(found->nativePath);
    // The path stands at the start, or after a browser prefix, which ends at
    // the text's first ":".
    const qsizetype at = object.startsWith(path) ? 0 : object.indexOf(QLatin1Char(':')) + 1;
    if (path.isEmpty() || !QStringView(object).sliced(at).startsWith(path))
        return object.toUtf8();
    return object.left(at).toUtf8() + found->nativePath + object.mid(at + path.size()).toUtf8();
}

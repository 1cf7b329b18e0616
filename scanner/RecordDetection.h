#pragma once

#include <QByteArray>
#include <QString>

class ScanSession;

// Records one detection: counts it, adds its row to the result list and
// writes its three-line record to the open report.  A file found by the walk
// also gives its path in the file system's own bytes, for its removal.
void RecordDetection(ScanSession &session, const QString &name, const QString &object,
                     const QByteArray &nativeObject = QByteArray());

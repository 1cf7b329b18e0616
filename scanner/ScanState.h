#pragma once

#include <QString>
#include <QStringList>

// The state of one scan and the values the scan shares with the window's
// live display.
struct ScanState {
    QString ScanRoot;
    bool RecurseSubfolders = true;
    qint32 DetectionCount = 0;
    qint32 ObjectsScanned = 0;
    double BytesScanned = 0;

    QString CurrentFilePath;
    double CurrentEntrySize = 0;
    QString CurrentThreatName;
    QString CurrentRegistryEntry;
    bool RegistryScanActive = false;
    bool FileScanActive = false;
    QString ReportBaseName;

    // How the last scan ended: stopped by the user before its end, and the
    // threat databases it needed that were not loaded (file names).
    bool StoppedByUser = false;
    QStringList MissingDatabases;
};

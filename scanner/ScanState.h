#pragma once

#include <QString>

class ProgressIndicator;

// The state of the current scan and the values the scan shares with the
// window's live display.
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

    // The bar the walk moves in units of 10,240,000 bytes; none when null.
    ProgressIndicator *progressBar = nullptr;
};

ScanState &scanState();
void resetScanState();

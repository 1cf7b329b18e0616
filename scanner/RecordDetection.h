#pragma once

#include "scanner/ResultListModel.h"

#include <QString>

class ScanSession;

// Records one detection: counts it, adds its row to the result list and
// writes its three-line record to the open report.  A detection the walk made
// also gives where it found the file, for its removal.
void RecordDetection(ScanSession &session, const QString &name, const QString &object,
                     std::optional<FoundFile> found = std::nullopt);

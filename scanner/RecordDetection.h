#pragma once

#include "scanner/ResultListModel.h"

#include <QString>

class ScanSession;

// Records one detection: counts it, adds its row to the result list and
// writes its three-line record to the open report.  A detection the walk made
// also gives where it found the file, for its removal, and, for a file found
// whole, the SHA-256 digest of its content when the walk made one.
//
// A detection that the session's allow list allows is not recorded as such:
// it is kept among the session's allowed detections instead (neither listed
// nor counted in DetectionCount).
void RecordDetection(ScanSession &session, const QString &name, const QString &object,
                     std::optional<FoundFile> found = std::nullopt,
                     const std::optional<QByteArray> &sha256 = std::nullopt);

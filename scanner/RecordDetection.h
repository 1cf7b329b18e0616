#pragma once

#include "scanner/ResultListModel.h"

#include <QByteArray>
#include <QString>

class ScanSession;

// Records one detection: counts it, adds its row to the result list and
// writes its three-line record to the open report.  A detection the walk made
// also gives where it found the file, for its removal, and, for a file found
// whole, the SHA-256 digest of its content when the walk made one.  The
// object's line of the record shows control characters and, in the path of
// the file found, bytes that are not valid UTF-8 as visible escapes, so that a
// record is always three lines and names exactly the file found.
//
// A detection that the session's allow list allows is not recorded as such:
// it is kept among the session's allowed detections instead (neither listed
// nor counted in DetectionCount).
void RecordDetection(ScanSession &session, const QString &name, const QString &object,
                     std::optional<FoundFile> found = std::nullopt,
                     const std::optional<QByteArray> &sha256 = std::nullopt);

// The object text as bytes: UTF-8, except that where the text shows the path
// of the file found (the whole text, or the part after a cookie row's
// browser prefix) the path's own bytes stand, so that a name that is not
// valid UTF-8 keeps its bytes instead of a replacement character.
QByteArray objectTextBytes(const QString &object, const std::optional<FoundFile> &found);

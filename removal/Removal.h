#pragma once

#include <QString>

class ScanSession;

// Removes everything the session's result list holds, in list order, then
// empties the list: registry rows (value or whole key), cookie rows (the line
// cut out of its cookie file) and file rows (deleted without force).  What
// cannot be removed is recorded at the end of the session's report.
void RemoveListedDetections(ScanSession &session);

// Cuts the cookie line of a cookie row ("mozilla:" or "netscape:", the cookie
// file path, "+", the line) out of its cookie file.
void RemoveMozillaCookie(ScanSession &session, const QString &Oggetto);

// Deletes one file without force: a read-only file, a folder or a missing
// file is not deleted and gets a failure record.  A symbolic link is removed
// itself, never its target.
void DestroyFile(ScanSession &session, const QString &FilePath);

// Appends the two-line failure record for path to the session's report.
void recordRemovalFailure(const ScanSession &session, const QString &path);

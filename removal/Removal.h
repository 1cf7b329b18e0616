#pragma once

#include <QString>

// Removes everything the result list holds, in list order, then empties the
// list: registry rows (value or whole key), cookie rows (the line cut out of
// its cookie file) and file rows (deleted without force).  What cannot be
// removed is recorded at the end of the last scan's report.
void RemoveListedDetections();

// Cuts the cookie line of a cookie row ("mozilla:" or "netscape:", the cookie
// file path, "+", the line) out of its cookie file.
void RemoveMozillaCookie(const QString &Oggetto);

// Deletes one file without force: a read-only file, a folder or a missing
// file is not deleted and gets a failure record.  A symbolic link is removed
// itself, never its target.
void DestroyFile(const QString &FilePath);

// Appends the two-line failure record for path to the last scan's report.
void recordRemovalFailure(const QString &path);

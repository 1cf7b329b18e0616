#pragma once

#include "scanner/RemovalOutcome.h"
#include "scanner/ResultListModel.h"

#include <QList>
#include <QString>

#include <optional>

class QuarantineStore;
class ScanSession;

// What a removal made of one row: the row's number in the list (counted from
// 1, the list as it was when the removal started) and its outcome.
struct RowRemoval {
    qsizetype row = 0;
    RemovalOutcome outcome = RemovalOutcome::Removed;
};

// Removes the rows numbered rows (counted from 1, in ascending order) of the
// session's result list, in that order: registry rows (value or whole key),
// cookie rows (the line cut out of its cookie file), cookie-store rows (the
// rows of the cookie deleted from the browser's store, all rows of one store
// in one transaction, after the other rows) and file rows (deleted without
// force).  The removal stops at a row without an object text: that
// row and the rows after it are not tried.  What cannot be removed is
// recorded at the end of the session's report.  Returns one outcome per row
// asked, in the same order; the list itself is left as it is.
//
// Files are changed only as the scan found them (FoundFile): reached from the
// scan root without following a link, and only while the file and its folder
// are still the ones the scan recorded (platform/TreeChange.h).  A row
// without a record of where its file was found changes nothing and gets a
// failure record.
//
// Without a quarantine, what is removed is deleted for good.  With one, every
// object is put into it before it is taken away (QuarantineKeeping): a file
// or link, a cookie line, a registry value or a key with everything below
// it.  An object that cannot be kept whole (a full disk, a file that changed
// while it was copied) is not removed and gets the failure record.
QList<RowRemoval> RemoveDetections(ScanSession &session, const QList<qsizetype> &rows,
                                   QuarantineStore *quarantine = nullptr);

// Removes every row of the session's result list (RemoveDetections), then
// empties the list.
QList<RowRemoval> RemoveListedDetections(ScanSession &session,
                                         QuarantineStore *quarantine = nullptr);

// Cuts the cookie line of a cookie row ("mozilla:" or "netscape:", the cookie
// file path, "+", the line) out of the cookie file found.  Returns the
// identity of the rewritten file that now stands in its place; none when the
// file was not rewritten (and a failure was recorded).
// With a quarantine, the line is kept there (one item) before the rewritten
// file takes the place of the old one.
std::optional<FileStatus> RemoveMozillaCookie(ScanSession &session, const QString &Oggetto,
                                              const std::optional<FoundFile> &found,
                                              QuarantineStore *quarantine = nullptr,
                                              const QString &threat = QString());

// Deletes the file found without force: a read-only file, a folder, a file
// that is no longer the one found or a cookie file (a cookie row without a
// browser prefix) is not deleted and gets a failure record.  A symbolic link
// is removed itself, never its target.  With a quarantine, the file (or
// link) is kept there first.  Returns what became of the file.
RemovalOutcome DestroyFile(ScanSession &session, const QString &FilePath,
                           const std::optional<FoundFile> &found,
                           QuarantineStore *quarantine = nullptr,
                           const QString &threat = QString());

// Appends the two-line failure record for path to the session's report.
void recordRemovalFailure(ScanSession &session, const QString &path);

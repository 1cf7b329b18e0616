#pragma once

#include "removal/CookieStoreRemoval.h"
#include "removal/QuarantineRecord.h"
#include "removal/RegistryRowRemoval.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class FileHandle;
class QuarantineStore;
class RegistryBackend;

// Putting what a removal is about to take away into the quarantine.  Each
// call records one item and gives its id, or none when it could not be kept
// whole (a full disk, a file that changed while it was copied): the removal
// then takes nothing away.  record gives the threat, the object text, the
// scan's root and, for a file, its path; the rest is filled in here.

// A regular file, read from its start through file (opened for reading,
// not through a link).  The file must not change while it is copied: its
// size and time of last change are compared before and after.
std::optional<QByteArray> keepFile(QuarantineStore &store, QuarantineRecord record,
                                   const FileHandle &file);
// A symbolic link: its target.
std::optional<QByteArray> keepLink(QuarantineStore &store, QuarantineRecord record,
                                   const QByteArray &target);
// One line of a cookies.txt file, its line feed included.
std::optional<QByteArray> keepCookieLine(QuarantineStore &store, QuarantineRecord record,
                                         const QByteArray &line);
// The rows of a cookie store that one line stood for, each an item of its
// own.  All or none: when one cannot be kept, those kept already go again.
std::optional<QList<QByteArray>> keepCookieRows(QuarantineStore &store, QuarantineRecord record,
                                                CookieStoreKind kind,
                                                const QList<CookieStoreRowCopy> &rows);
// The value or the key (with everything below it) that a registry row names,
// as every place holds it, read through registry before it is deleted; the
// places kept go into *stores.  A row whose key or value is absent gives an
// empty id (nothing to keep).
std::optional<QByteArray> keepRegistryRow(QuarantineStore &store, QuarantineRecord record,
                                          const RegistryRow &row, RegistryBackend &registry,
                                          QStringList *stores);

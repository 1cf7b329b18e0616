#pragma once

#include "platform/RegistryBackend.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QuarantineStore;
struct QuarantineRecord;

// How the restore of one item ended.
enum class RestoreOutcome {
    Restored,     // put back and taken out of the quarantine
    Exists,       // something is already at its place: nothing changed
    PlaceMissing, // its folder, cookie file, store or parent key is missing
    Damaged,      // the kept copy is missing or fails its check
    Failed,       // anything else: a link on the way, no permission, a full
                  // disk, a store in use; nothing changed
};

struct RestoreResult {
    QByteArray id;
    QString object;
    RestoreOutcome outcome = RestoreOutcome::Failed;
    // What went wrong, in a few words (English, for the command-line tool).
    QString detail;
};

// Opens the registry of the Windows installation whose root folder is given.
using RestoreRegistryOpener =
    std::function<std::unique_ptr<RegistryBackend>(const QString &root, RegistryAccess access)>;

struct RestoreSettings {
    // The registry of a registry item; empty: the installation's registry
    // (openInstallationRegistry).
    RestoreRegistryOpener openRegistry;
    // Where a cookie store is changed in a private copy; empty: the
    // system's temporary folder.
    QString scratchFolder;
};

// Puts the items ids back where they were and takes each one that went back
// out of the quarantine; one result per id, in order (an id the quarantine
// does not hold is Damaged).
//  - A file or link: at its path, reached from its scan's root one folder at
//    a time without following a link, only where nothing is; the content
//    (checked against its SHA-256 before it takes the name), the permission
//    bits, the owner and group (when the program runs as root) and the time
//    of last change as they were.
//  - A cookie line: appended to its cookie file.  A cookie-store row:
//    inserted again into its store.
//  - A registry value or key (with everything below it): created again in
//    each place it was taken from, where it is not there now.
QList<RestoreResult> restoreQuarantined(QuarantineStore &store, const QList<QByteArray> &ids,
                                        const RestoreSettings &settings = {});

// The ids of the items put into the quarantine more than days days before
// now.
QList<QByteArray> quarantinedBefore(const QuarantineStore &store, int days,
                                    const QDateTime &now = QDateTime::currentDateTimeUtc());

#pragma once

#include "platform/UniqueFd.h"

#include <QByteArray>

#include <sys/stat.h>

// The files SQLite keeps beside a database NAME in its folder: NAME-journal
// (rollback journal), NAME-wal (write-ahead log) and NAME-shm (the log's
// index).  Each is opened relative to the open folder, read-only, never
// through a symbolic link and never waiting (a FIFO returns at once), and
// kept only when it is a regular file of the database's owner with one name:
// a file planted as a hard link to someone else's file is never read.
class SqliteCompanions
{
public:
    struct Companion {
        UniqueFd file; // open when the name is a regular file
        struct stat status {
        };                      // its status when open
        bool irregular = false; // the name exists as a link, folder, FIFO, other's file...
    };

    // Looks at the companions of name in the open folder; database is the
    // database file itself, open.
    static SqliteCompanions open(int folder, const QByteArray &name, int database);

    // The companion names of name.
    static QByteArray journalName(const QByteArray &name) { return name + "-journal"; }
    static QByteArray walName(const QByteArray &name) { return name + "-wal"; }

    const Companion &journal() const { return m_journal; }
    const Companion &wal() const { return m_wal; }

    // A journal of a transaction: not empty and its header not zeroed.  Its
    // pages are the database as it was before the transaction.
    bool hasJournalContent() const;
    // A journal left by a writer that did not finish: one with content while
    // no writer holds the database (open as database) in a transaction.
    // SQLite rolls it back before anyone reads the database.
    bool hasHotJournal(int database) const;
    // A log that may hold committed changes not yet in the database file.
    bool hasWalContent() const;
    // A connection has the database open in WAL mode.
    bool walInUse() const;
    // Any companion name that is not a regular file.
    bool anyIrregular() const;

    // True when the journal and the log are as this one saw them: the same
    // file of the same size and times, or absent in both.  (Readers write to
    // the -shm file, so it is not compared.)
    bool sameAs(const SqliteCompanions &other) const;

private:
    Companion m_journal;
    Companion m_wal;
    Companion m_shm;
};

// True when two statuses describe the same file unchanged: device, inode,
// size, modification and change times.
bool sameFileUnchanged(const struct stat &a, const struct stat &b);

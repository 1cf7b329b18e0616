#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QTemporaryDir;

// A consistent private copy of a database together with the files SQLite
// needs beside it: the journal of an unfinished write, and a write-ahead log
// that may hold committed changes.  The copy lies in a folder made for
// it alone (mode 0700) and goes with the object.  Opened there, SQLite rolls
// the journal back or replays the log in the copy; the original and its
// folder are only read.
class SqliteSnapshot
{
public:
    ~SqliteSnapshot();
    // Databases larger than this (with their log) are not copied.
    static constexpr qint64 kMaxBytes = qint64(1) << 30;

    // Copies the database open as file, named name in the open folder (where
    // its companions are looked for; -1 to copy the database alone), into a
    // new folder below scratchFolder (the system's temporary folder when
    // empty).  The copy is kept only when the database and its companions
    // were the same files of the same size and times before and after it was
    // made; otherwise it is tried again, a few times.  Null when the files
    // cannot be read or copied, are too large, or keep changing.
    static std::unique_ptr<SqliteSnapshot> make(int folder, const QByteArray &name, int file,
                                                const QString &scratchFolder);

    // The copy of the database, in the file system's bytes.
    QByteArray databasePath() const;
    // Whether the copy took the original's journal or log with it.
    bool tookJournal() const { return m_tookJournal; }
    bool tookWal() const { return m_tookWal; }

private:
    explicit SqliteSnapshot(std::unique_ptr<QTemporaryDir> dir);
    bool copyOnce(int folder, const QByteArray &name, int file);

    std::unique_ptr<QTemporaryDir> m_dir;
    bool m_tookJournal = false;
    bool m_tookWal = false;
};

#pragma once

// An advisory lock on a database file, taken on the bytes and in the order
// SQLite takes its own locks, so that a browser with the store open and this
// program keep out of each other's way.  The lock belongs to the open file
// (an open-file-description lock), so closing another descriptor of the same
// file in this process does not drop it; it is released when the object goes.
class SqliteFileLock
{
public:
    enum class Mode {
        // What an SQLite reader holds: no writer can commit meanwhile.
        Shared,
        // What an SQLite writer holds to commit: no other connection can
        // read or write.  Needs fd open for writing.
        Exclusive,
    };

    SqliteFileLock() = default;
    ~SqliteFileLock();
    SqliteFileLock(SqliteFileLock &&other) noexcept;
    SqliteFileLock &operator=(SqliteFileLock &&other) noexcept;

    // Tries to take the lock without waiting.  Not held when another
    // connection holds a lock that conflicts, or fd cannot be locked.
    static SqliteFileLock tryLock(int fd, Mode mode);

    bool isHeld() const { return m_fd >= 0; }

    // True when some connection has the database whose wal-index (its -shm
    // file) is open as shmFd in use: SQLite keeps a lock there while a
    // connection has a database open in WAL mode.
    static bool sharedMemoryInUse(int shmFd);

    // True when a connection holds the reserved lock of the database in fd:
    // a writer is in the middle of a transaction, and a journal beside the
    // file is its own, not one left by a crash.
    static bool reservedByOther(int fd);

private:
    void release();
    int m_fd = -1;
};

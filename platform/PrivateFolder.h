#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A folder that belongs to the program's user alone, for what the program
// keeps for itself: the quarantine.  Only its owner may enter it (mode 0700
// on POSIX systems), its files only the owner may read and write (0600) and
// none is ever executable.  Names inside it are plain names given by the
// program; nothing in it is reached through a link.
//
// One process changes the folder at a time: lock() waits for the others.
class PrivateFolder
{
public:
    PrivateFolder() = default;
    ~PrivateFolder();
    PrivateFolder(PrivateFolder &&other) noexcept;
    PrivateFolder &operator=(PrivateFolder &&other) noexcept;
    PrivateFolder(const PrivateFolder &) = delete;
    PrivateFolder &operator=(const PrivateFolder &) = delete;

    // Opens the folder at path (the folders above it must exist), creating
    // it when missing.  Refused, with the reason in *error, when path is a
    // link or not a folder, or belongs to another user; a folder others may
    // enter is made private first.
    static PrivateFolder open(const QString &path, QString *error = nullptr);
    // Opens the folder only when it exists (the same checks), without
    // creating it; not isOpen() and no error when it does not exist.
    static PrivateFolder openExisting(const QString &path, QString *error = nullptr);

    bool isOpen() const;
    const QString &path() const { return m_path; }

    // Waits until no other process holds the folder, then holds it until the
    // object goes.  False when the lock cannot be taken.
    bool lock();
    // The same without waiting: false at once when another holds it.
    bool tryLock();

    // A file of the folder being written: created new (never over an existing
    // name, never through a link), written from the start, made lasting by
    // finish().  A file not finished is removed when the object goes.
    class NewFile
    {
    public:
        NewFile() = default;
        ~NewFile();
        NewFile(NewFile &&other) noexcept;
        NewFile &operator=(NewFile &&other) noexcept;
        NewFile(const NewFile &) = delete;
        NewFile &operator=(const NewFile &) = delete;

        bool isOpen() const;
        // Appends bytes; false, and every later call false, when a write
        // fails (a full disk).
        bool write(const char *data, qint64 size);
        // Flushes the file to the disk and closes it; it then stays.  False
        // when a write or the flush failed: the file is then removed.
        bool finish();

    private:
        friend class PrivateFolder;
        void discard();

        const PrivateFolder *m_folder = nullptr;
        QByteArray m_name;
#ifdef Q_OS_WIN
        void *m_handle = reinterpret_cast<void *>(-1);
#else
        int m_fd = -1;
#endif
        bool m_failed = false;
    };

    // A new file name in the folder; not isOpen() when the name exists or
    // the file cannot be made.
    NewFile create(const QByteArray &name) const;

    // The whole content of name, read without following a link; none when it
    // is missing, not a regular file, larger than maxBytes or unreadable.
    std::optional<QByteArray> read(const QByteArray &name, qint64 maxBytes) const;
    // Reads name in pieces, handing each to sink (which returns false to
    // stop); false when the file cannot be opened or read, or sink stopped.
    template <typename Sink> bool readInPieces(const QByteArray &name, Sink sink) const;

    // Puts bytes into name in one step: written to a new file, flushed,
    // renamed over name, and the folder flushed, so that name holds either
    // its old content or the whole new one, even across a power loss.
    bool replace(const QByteArray &name, const QByteArray &bytes) const;
    // Removes name; true when it is gone (a missing name included).
    bool remove(const QByteArray &name) const;
    // Flushes the folder's own entries (names created, renamed or removed).
    bool sync() const;

    struct Entry {
        QByteArray name;
        qint64 size = 0;
        bool regular = false;
    };
    // The entries of the folder, "." and ".." left out; empty on failure.
    std::vector<Entry> list() const;

private:
    static PrivateFolder openPath(const QString &path, bool create, QString *error);
    // Opens name for reading (regular files only, never through a link);
    // the handle is -1 on failure.
    qintptr openForReading(const QByteArray &name) const;
    static qint64 readSome(qintptr handle, char *buffer, qint64 size);
    static void closeHandle(qintptr handle);

    QString m_path;
#ifdef Q_OS_WIN
    void *m_lock = reinterpret_cast<void *>(-1);
#else
    int m_fd = -1;
#endif
};

template <typename Sink> bool PrivateFolder::readInPieces(const QByteArray &name, Sink sink) const
{
    const qintptr handle = openForReading(name);
    if (handle == -1)
        return false;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    bool ok = true;
    for (;;) {
        const qint64 got = readSome(handle, buffer.data(), buffer.size());
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        if (!sink(buffer.data(), got)) {
            ok = false;
            break;
        }
    }
    closeHandle(handle);
    return ok;
}

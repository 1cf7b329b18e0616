#pragma once

#include "platform/PrivateFolder.h"
#include "platform/StreamCipher.h"
#include "removal/QuarantineRecord.h"

#include <QCryptographicHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// The quarantine: the folder Quarantine in the data folder, private to the
// user (PrivateFolder), holding
//   manifest.dat  the record of every item (QuarantineManifest), replaced in
//                 one step at every change;
//   <id>          one file per item: the kept bytes (a file's content, a
//                 link's target, a cookie line, a described cookie-store row
//                 or registry copy) combined with the item's keystream
//                 (StreamCipher), so that the kept copy never is the threat
//                 itself.
// The store holds the folder's lock while the object lives, so the window
// and the command-line tool never change it at the same time.
class QuarantineStore
{
public:
    static QString folderName() { return QStringLiteral("Quarantine"); }
    static QByteArray manifestName() { return "manifest.dat"; }

    // Opens the quarantine of the data folder, creating it when create (a
    // listing does not create it: a missing quarantine is an empty one).
    // Null, with the reason in *error, when the folder cannot be opened or
    // locked, or its manifest cannot be read.  Item files that no record
    // names (left by a removal that was cut off) are removed.  With wait, it
    // waits while another program holds the quarantine; without, that is a
    // failure (the window, which must not hang).
    static std::unique_ptr<QuarantineStore> open(const QString &dataFolder, bool create,
                                                 QString *error = nullptr, bool wait = true);

    const QList<QuarantineRecord> &records() const { return m_records; }
    const QuarantineRecord *record(const QByteArray &id) const;
    // Lines of the manifest that were no sound record (they are dropped at
    // the next change, their items with them).
    qsizetype damagedLines() const { return m_damagedLines; }
    // The bytes the quarantine's files take.
    qint64 spaceUsed() const;

    // One item being put into the quarantine: its kept bytes are written,
    // enciphered, as they come.  Nothing is recorded until the store's
    // commit() has checked the copy.
    class Addition
    {
    public:
        bool isOpen() const { return m_file.isOpen(); }
        // Appends kept bytes; false when a write fails (a full disk).
        bool write(const char *data, qint64 size);
        // The SHA-256 digest of the bytes written so far.
        QByteArray digestSoFar() const { return m_hash.result(); }

    private:
        friend class QuarantineStore;
        explicit Addition(const QByteArray &key) : m_cipher(key) {}
        QuarantineRecord m_record;
        PrivateFolder::NewFile m_file;
        StreamCipher m_cipher;
        QCryptographicHash m_hash{QCryptographicHash::Sha256};
        QByteArray m_buffer;
        bool m_failed = false;
    };

    // Starts an item of the record's kind for what record describes; the
    // id, key, time, size and digest are the store's to fill in.
    std::unique_ptr<Addition> begin(const QuarantineRecord &record);
    // Flushes the kept copy to the disk, reads it back and checks it against
    // the digest of the bytes written, then records the item in the
    // manifest.  The item's id; none, with nothing left behind, when any of
    // it fails.
    std::optional<QByteArray> commit(std::unique_ptr<Addition> addition);
    // begin(), one write() and commit() for bytes at hand.
    std::optional<QByteArray> add(const QuarantineRecord &record, const QByteArray &bytes);

    // Removes items for good: their records from the manifest (in one
    // change) and their files.  False when the manifest could not be
    // changed; the items then stay.
    bool remove(const QList<QByteArray> &ids);

    // Reads the kept bytes of the item, deciphered, in pieces handed to sink
    // (which returns false to stop).  True only when everything was read and
    // the bytes' size and digest are those recorded: until then the pieces
    // are not to be trusted.
    bool readItem(const QuarantineRecord &record,
                  const std::function<bool(const char *data, qint64 size)> &sink) const;
    // The same, whole; none when missing, damaged or larger than maxBytes.
    std::optional<QByteArray> readItem(const QuarantineRecord &record, qint64 maxBytes) const;

private:
    explicit QuarantineStore(PrivateFolder folder) : m_folder(std::move(folder)) {}
    void removeStrayFiles() const;
    bool writeManifest(const QList<QuarantineRecord> &records) const;

    PrivateFolder m_folder;
    QList<QuarantineRecord> m_records;
    qsizetype m_damagedLines = 0;
};

// A new item id: 32 lower-case hexadecimal digits (128 random bits).
QByteArray newQuarantineId();

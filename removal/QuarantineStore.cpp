#include "removal/QuarantineStore.h"

#include "removal/QuarantineManifest.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSet>

#include <cstring>

namespace {

// Kept bytes go through the cipher in pieces of this size.
constexpr qsizetype kPiece = 1 << 20;

bool isIdName(const QByteArray &name)
{
    if (name.size() != 32)
        return false;
    for (const char c : name) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

} // namespace

QByteArray newQuarantineId()
{
    quint32 words[4];
    QRandomGenerator::system()->generate(std::begin(words), std::end(words));
    return QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex();
}

std::unique_ptr<QuarantineStore> QuarantineStore::open(const QString &dataFolder, bool create,
                                                       QString *error, bool wait)
{
    const auto fail = [error](const QString &why) -> std::unique_ptr<QuarantineStore> {
        if (error)
            *error = why;
        return nullptr;
    };
    QString base = QDir::toNativeSeparators(dataFolder);
    if (!base.endsWith(QDir::separator()))
        base += QDir::separator();
    const QString path = base + folderName();
    QString why;
    PrivateFolder folder =
        create ? PrivateFolder::open(path, &why) : PrivateFolder::openExisting(path, &why);
    if (!folder.isOpen()) {
        if (!why.isEmpty())
            return fail(why);
        // No quarantine yet: an empty one, which nothing is added to.
        return std::unique_ptr<QuarantineStore>(new QuarantineStore(PrivateFolder()));
    }
    if (!(wait ? folder.lock() : folder.tryLock()))
        return fail(QStringLiteral("%1 is in use").arg(path));
    std::unique_ptr<QuarantineStore> store(new QuarantineStore(std::move(folder)));
    const std::optional<QByteArray> manifest =
        store->m_folder.read(manifestName(), QuarantineManifest::kMaxBytes);
    if (!manifest) {
        bool exists = false;
        for (const PrivateFolder::Entry &e : store->m_folder.list())
            exists = exists || e.name == manifestName();
        if (exists)
            return fail(QStringLiteral("%1 cannot be read")
                            .arg(path + QDir::separator() + QString::fromLatin1(manifestName())));
        return store;
    }
    const QuarantineManifest::Decoded decoded = QuarantineManifest::decode(*manifest);
    if (decoded.unknownFormat)
        return fail(QStringLiteral("%1 is not a quarantine manifest this program reads")
                        .arg(path + QDir::separator() + QString::fromLatin1(manifestName())));
    store->m_records = decoded.records;
    store->m_damagedLines = decoded.damagedLines;
    store->removeStrayFiles();
    return store;
}

void QuarantineStore::removeStrayFiles() const
{
    QSet<QByteArray> ids;
    for (const QuarantineRecord &r : m_records)
        ids.insert(r.id);
    bool removed = false;
    for (const PrivateFolder::Entry &e : m_folder.list()) {
        const bool strayItem = isIdName(e.name) && !ids.contains(e.name);
        const bool strayManifest = e.name.startsWith(manifestName() + ".new-");
        if (e.regular && (strayItem || strayManifest))
            removed = m_folder.remove(e.name) || removed;
    }
    if (removed)
        m_folder.sync();
}

const QuarantineRecord *QuarantineStore::record(const QByteArray &id) const
{
    for (const QuarantineRecord &r : m_records) {
        if (r.id == id)
            return &r;
    }
    return nullptr;
}

qint64 QuarantineStore::spaceUsed() const
{
    qint64 used = 0;
    for (const PrivateFolder::Entry &e : m_folder.list())
        used += e.size;
    return used;
}

bool QuarantineStore::writeManifest(const QList<QuarantineRecord> &records) const
{
    return m_folder.replace(manifestName(), QuarantineManifest::encode(records));
}

bool QuarantineStore::Addition::write(const char *data, qint64 size)
{
    while (!m_failed && size > 0) {
        const qsizetype piece = qsizetype(std::min<qint64>(size, kPiece));
        m_hash.addData(QByteArrayView(data, piece));
        m_buffer.resize(piece);
        std::memcpy(m_buffer.data(), data, size_t(piece));
        m_failed =
            !m_cipher.apply(m_buffer.data(), piece) || !m_file.write(m_buffer.constData(), piece);
        m_record.size += piece;
        data += piece;
        size -= piece;
    }
    return !m_failed;
}

std::unique_ptr<QuarantineStore::Addition> QuarantineStore::begin(const QuarantineRecord &record)
{
    const QByteArray key = StreamCipher::newKey();
    std::unique_ptr<Addition> addition(new Addition(key));
    if (!m_folder.isOpen() || !addition->m_cipher.isValid())
        return addition;
    addition->m_record = record;
    addition->m_record.key = key;
    addition->m_record.size = 0;
    addition->m_record.time =
        QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
    // A new random id is taken again only in the (never seen) case that one
    // is in use.
    for (int attempt = 0; attempt < 4 && !addition->m_file.isOpen(); ++attempt) {
        addition->m_record.id = newQuarantineId();
        if (!this->record(addition->m_record.id))
            addition->m_file = m_folder.create(addition->m_record.id);
    }
    return addition;
}

std::optional<QByteArray> QuarantineStore::commit(std::unique_ptr<Addition> addition)
{
    if (!addition || !addition->isOpen() || addition->m_failed)
        return std::nullopt;
    QuarantineRecord r = addition->m_record;
    r.sha256 = addition->m_hash.result();
    if (!addition->m_file.finish())
        return std::nullopt;
    // What was written is read back from the disk's copy and checked before
    // anyone relies on it.
    const auto forget = [this, &r] {
        m_folder.remove(r.id);
        m_folder.sync();
        return std::nullopt;
    };
    if (!readItem(r, [](const char *, qint64) { return true; }))
        return forget();
    QList<QuarantineRecord> records = m_records;
    records.append(r);
    if (!writeManifest(records))
        return forget();
    m_records = std::move(records);
    m_damagedLines = 0;
    return r.id;
}

std::optional<QByteArray> QuarantineStore::add(const QuarantineRecord &record,
                                               const QByteArray &bytes)
{
    std::unique_ptr<Addition> addition = begin(record);
    if (!addition->write(bytes.constData(), bytes.size()))
        return std::nullopt;
    return commit(std::move(addition));
}

bool QuarantineStore::remove(const QList<QByteArray> &ids)
{
    if (!m_folder.isOpen())
        return ids.isEmpty();
    const QSet<QByteArray> gone(ids.begin(), ids.end());
    QList<QuarantineRecord> records;
    for (const QuarantineRecord &r : m_records) {
        if (!gone.contains(r.id))
            records.append(r);
    }
    if (!writeManifest(records))
        return false;
    m_records = std::move(records);
    m_damagedLines = 0;
    for (const QByteArray &id : ids) {
        if (isIdName(id))
            m_folder.remove(id);
    }
    m_folder.sync();
    return true;
}

bool QuarantineStore::readItem(const QuarantineRecord &record,
                               const std::function<bool(const char *, qint64)> &sink) const
{
    StreamCipher cipher(record.key);
    if (!cipher.isValid() || !isIdName(record.id))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 size = 0;
    const bool read = m_folder.readInPieces(record.id, [&](char *data, qint64 got) {
        size += got;
        if (size > record.size || !cipher.apply(data, got))
            return false;
        hash.addData(QByteArrayView(data, qsizetype(got)));
        return sink(data, got);
    });
    return read && size == record.size && hash.result() == record.sha256;
}

std::optional<QByteArray> QuarantineStore::readItem(const QuarantineRecord &record,
                                                    qint64 maxBytes) const
{
    if (record.size > maxBytes)
        return std::nullopt;
    QByteArray bytes;
    const bool read = readItem(record, [&bytes](const char *data, qint64 size) {
        bytes.append(data, qsizetype(size));
        return true;
    });
    if (!read)
        return std::nullopt;
    return bytes;
}

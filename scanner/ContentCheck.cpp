#include "scanner/ContentCheck.h"

#include "databases/DatabaseTables.h"
#include "databases/modCipher.h"
#include "platform/EventPump.h"
#include "scanner/FileDescriptor.h"
#include "scanner/ScanState.h"
#include "scanner/SignatureSearch.h"

#include <QFile>

#include <algorithm>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One buffer for the content of every file checked, kept between calls.
QByteArray &contentBuffer()
{
    static QByteArray buffer;
    return buffer;
}

// Reads the whole content of the open regular file into the content buffer;
// the view returned is valid until the next call.  False when the file cannot
// be read or holds more than kContentCheckLimit bytes.
bool readContent(const FileDescriptor &file, QByteArray *content)
{
    struct stat st {
    };
    if (!file.status(&st) || !S_ISREG(st.st_mode) || st.st_size > kContentCheckLimit)
        return false;
    QByteArray &buffer = contentBuffer();
    // One byte more than the limit tells a file that grew past it.
    if (buffer.size() < kContentCheckLimit + 1)
        buffer.resize(kContentCheckLimit + 1);
    qint64 used = 0;
    while (used <= kContentCheckLimit) {
        const ssize_t got =
            ::read(file.get(), buffer.data() + used, size_t(kContentCheckLimit + 1 - used));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        used += got;
    }
    if (used > kContentCheckLimit)
        return false;
    *content = QByteArray::fromRawData(buffer.constData(), qsizetype(used));
    return true;
}

bool searchSignatures(const QByteArray &content)
{
    const QString d1 = QString::fromLatin1(HashString(1, content));
    if (d1.isEmpty())
        return false;
    // The SHA-1 digest is made only when an entry with this MD5 digest asks
    // for it, and then once.
    QString d3;
    bool haveD3 = false;
    const auto secondDigest = [&]() -> const QString & {
        if (!haveD3) {
            d3 = QString::fromLatin1(HashString(3, content));
            haveD3 = true;
        }
        return d3;
    };

    const DatabaseTables &tables = databaseTables();
    // A copy (shared, not duplicated) of the list, read once: the events let
    // run during the search cannot pull the entries away under the loop.
    const QStringList entries = tables.TrojSigEntries;
    const qint32 count = std::clamp<qint32>(tables.TrojSigCount, 0, qint32(entries.size()) - 1);
    const qint32 start = SignatureSearch::forTables(tables).startFor(d1);
    ScanState &state = scanState();
    // Reading from entry 1 would have left the name of the entry before the
    // start behind.
    if (start > 1 && start - 1 <= count)
        state.CurrentThreatName = signatureThreatName(entries.at(start - 1));
    for (qint32 i = start; i <= count; ++i) {
        EventPump::processPendingEvents();
        const QString &e = entries.at(i);
        if (e.isEmpty())
            return false;
        const QStringView sig = signatureFirstDigest(e);
        const QStringView second = signatureSecondDigest(e);
        state.CurrentThreatName = signatureThreatName(e);
        EventPump::processPendingEvents();
        const int order = sig.compare(d1);
        if (order == 0 && (second.isEmpty() || second == secondDigest()))
            return true;
        if (order > 0)
            return false;
    }
    return false;
}

} // namespace

bool FileScan(const FileDescriptor &file)
{
    try {
        QByteArray content;
        if (!readContent(file, &content))
            return false;
        EventPump::processPendingEvents();
        return searchSignatures(content);
    } catch (...) {
        return false;
    }
}

bool FileScan(const QString &FILE)
{
    return FileScan(FileDescriptor::openRegularFile(QFile::encodeName(FILE)));
}

#include "scanner/ContentCheck.h"

#include "databases/modCipher.h"
#include "platform/FileHandle.h"
#include "scanner/Engine.h"
#include "scanner/ScanSession.h"
#include "scanner/SignatureSearch.h"

#include <QFile>

#include <algorithm>

namespace {
// Signature entries read between two yields of a long search.
constexpr qint32 kEntriesPerYield = 4096;
} // namespace

ContentReader::Outcome ContentReader::read(const FileHandle &file, QByteArray *content)
{
    FileStatus st;
    if (!file.status(&st))
        return Outcome::Failed;
    if (st.kind != FileStatus::Kind::Regular || st.size > kContentCheckLimit)
        return Outcome::Skipped;
    // One byte more than the limit tells a file that grew past it.
    if (m_buffer.size() < kContentCheckLimit + 1)
        m_buffer.resize(kContentCheckLimit + 1);
    qint64 used = 0;
    while (used <= kContentCheckLimit) {
        const qint64 got = file.read(m_buffer.data() + used, kContentCheckLimit + 1 - used);
        if (got < 0)
            return Outcome::Failed;
        if (got == 0)
            break;
        used += got;
    }
    if (used > kContentCheckLimit)
        return Outcome::Skipped;
    *content = QByteArray::fromRawData(m_buffer.constData(), qsizetype(used));
    return Outcome::Read;
}

ContentVerdict searchSignatures(const Engine &engine, const QByteArray &content,
                                const std::function<void()> &yield)
{
    ContentVerdict verdict;
    const QString d1 = QString::fromLatin1(HashString(1, content));
    if (d1.isEmpty())
        return verdict;
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

    const DatabaseTables &tables = engine.tables();
    const QStringList &entries = tables.TrojSigEntries;
    const qint32 count = std::clamp<qint32>(tables.TrojSigCount, 0, qint32(entries.size()) - 1);
    const qint32 start = engine.signatureSearch().startFor(d1);
    // Reading from entry 1 would have left the name of the entry before the
    // start behind.
    if (start > 1 && start - 1 <= count)
        verdict.threatName = signatureThreatName(entries.at(start - 1));
    for (qint32 i = start; i <= count; ++i) {
        if (yield && (i - start) % kEntriesPerYield == kEntriesPerYield - 1)
            yield();
        const QString &e = entries.at(i);
        if (e.isEmpty())
            return verdict;
        const QStringView sig = signatureFirstDigest(e);
        const QStringView second = signatureSecondDigest(e);
        verdict.threatName = signatureThreatName(e);
        const int order = sig.compare(d1);
        if (order == 0 && (second.isEmpty() || second == secondDigest())) {
            verdict.matched = true;
            return verdict;
        }
        if (order > 0)
            return verdict;
    }
    return verdict;
}

bool FileScan(ScanSession &session, const FileHandle &file)
{
    try {
        QByteArray content;
        if (session.contentReader().read(file, &content) != ContentReader::Outcome::Read)
            return false;
        session.processEvents();
        const ContentVerdict verdict =
            searchSignatures(session.engine(), content, [&session] { session.processEvents(); });
        if (verdict.threatName)
            session.state().CurrentThreatName = *verdict.threatName;
        return verdict.matched;
    } catch (...) {
        return false;
    }
}

bool FileScan(ScanSession &session, const QString &FILE)
{
    return FileScan(session, FileHandle::openRegularFile(QFile::encodeName(FILE)));
}

#include "scanner/SignatureSearch.h"

#include "databases/DatabaseTables.h"

#include <algorithm>

namespace {
// Characters from position from (counted from 0), at most length of them,
// as far as the text reaches.
QStringView middle(const QString &text, qsizetype from, qsizetype length)
{
    if (from >= text.size())
        return {};
    return QStringView(text).sliced(from, std::min(length, text.size() - from));
}
} // namespace

QStringView signatureFirstDigest(const QString &entry)
{
    return middle(entry, 0, 32);
}

QStringView signatureSecondDigest(const QString &entry)
{
    if (!entry.contains(QLatin1Char(':')))
        return {};
    return middle(entry, 33, 40);
}

QString signatureThreatName(const QString &entry)
{
    return entry.size() > 73 ? entry.mid(74) : entry.mid(33);
}

SignatureSearch::SignatureSearch(const DatabaseTables &tables)
{
    m_entries = tables.TrojSigEntries;
    m_count = std::clamp<qint32>(tables.TrojSigCount, 0, qint32(m_entries.size()) - 1);
    m_firstEmpty = 1;
    while (m_firstEmpty <= m_count && !m_entries.at(m_firstEmpty).isEmpty())
        ++m_firstEmpty;
    m_sorted = true;
    for (qint32 i = 2; i < m_firstEmpty && m_sorted; ++i) {
        m_sorted = signatureFirstDigest(m_entries.at(i - 1))
                       .compare(signatureFirstDigest(m_entries.at(i))) <= 0;
    }
}

qint32 SignatureSearch::startFor(QStringView d1) const
{
    if (!m_sorted)
        return 1;
    const auto begin = m_entries.cbegin() + 1;
    const auto end = m_entries.cbegin() + m_firstEmpty;
    const auto it = std::partition_point(
        begin, end, [d1](const QString &e) { return signatureFirstDigest(e).compare(d1) < 0; });
    return qint32(it - m_entries.cbegin());
}

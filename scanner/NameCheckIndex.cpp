#include "scanner/NameCheckIndex.h"

#include "databases/DatabaseTables.h"
#include "scanner/PatternMatch.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <deque>
#include <limits>

NameCheckIndex::NameCheckIndex(const DatabaseTables &tables)
{
    m_entries = tables.CookDbEntries;
    m_count = std::clamp<qint32>(tables.CookDbCount, 0, qint32(m_entries.size()) - 1);
    m_headerAbove.assign(size_t(m_count) + 1, 0);
    m_threatNames.assign(size_t(m_count) + 1, QString());
    m_keyChildren.emplace_back();
    m_keyAt.push_back(-1);

    qint32 header = 0;
    for (qint32 i = 1; i <= m_count; ++i) {
        const QString &e = m_entries.at(i);
        if (e.startsWith(QLatin1String("***"))) {
            header = i;
            m_threatNames[size_t(i)] = e.mid(3);
        }
        m_headerAbove[size_t(i)] = header;
        if (header == i || e.startsWith(QLatin1String("[[[")) || e.isEmpty())
            continue;
        if (!PatternMatch::hasWildcards(e)) {
            addSuffix(e, i);
            continue;
        }
        if (PatternMatch::isWellFormed(e)) // a malformed pattern matches nothing
            m_wild.push_back({i, e, e.contains(QLatin1Char('*'))});
    }
    // Each wildcard pattern is reached through one of its plain runs: the one
    // fewest other patterns share, the longest among those, so that a run
    // common in paths ("\\system32\\") leads to as few patterns as possible.
    QHash<QStringView, qint32> sharedBy;
    std::vector<QList<QStringView>> runs(m_wild.size());
    for (size_t w = 0; w < m_wild.size(); ++w) {
        runs[w] = PatternMatch::literalRuns(m_wild[w].pattern);
        QSet<QStringView> distinct(runs[w].cbegin(), runs[w].cend());
        for (QStringView run : distinct)
            ++sharedBy[run];
    }
    for (size_t w = 0; w < m_wild.size(); ++w) {
        QStringView key;
        qint32 keyShared = 0;
        for (QStringView run : runs[w]) {
            const qint32 shared = sharedBy.value(run);
            if (key.isEmpty() || shared < keyShared ||
                (shared == keyShared && run.size() > key.size())) {
                key = run;
                keyShared = shared;
            }
        }
        if (key.isEmpty())
            m_unkeyed.push_back(qint32(w));
        else
            addKeyed(key, qint32(w));
    }
    linkKeys();
}

namespace {

// The hash of a text read from its end, extended by one character further
// towards its start: the character times the next power of an odd base.
struct SuffixHash {
    static constexpr quint64 kBase = 0x9e3779b97f4a7c15ULL;
    quint64 value = 0;
    quint64 power = 1;
    void extend(QChar c)
    {
        value += (quint64(c.unicode()) + 1) * power;
        power *= kBase;
    }
};

quint64 suffixHashOf(QStringView text)
{
    SuffixHash h;
    for (qsizetype i = text.size() - 1; i >= 0; --i)
        h.extend(text[i]);
    return h.value;
}

} // namespace

void NameCheckIndex::addSuffix(QStringView pattern, qint32 entry)
{
    const quint64 hash = suffixHashOf(pattern);
    // Entries come in ascending order: the first one with a text is the lowest.
    for (auto it = m_suffixes.constFind(hash); it != m_suffixes.cend() && it.key() == hash; ++it) {
        if (m_entries.at(*it) == pattern)
            return;
    }
    m_suffixes.insert(hash, entry);
    m_longestSuffix = std::max(m_longestSuffix, pattern.size());
}

void NameCheckIndex::addKeyed(QStringView key, qint32 wildIndex)
{
    qint32 node = 0;
    for (QChar c : key) {
        bool added = false;
        const qint32 child =
            m_keyEdges.findOrAdd(node, c.unicode(), qint32(m_keyChildren.size()), &added);
        if (added) {
            m_keyChildren[size_t(node)].emplace_back(c, child);
            m_keyChildren.emplace_back();
            m_keyAt.push_back(-1);
        }
        node = child;
    }
    if (m_keyAt[size_t(node)] < 0) {
        m_keyAt[size_t(node)] = qint32(m_keyPatterns.size());
        m_keyPatterns.emplace_back();
    }
    m_keyPatterns[size_t(m_keyAt[size_t(node)])].push_back(wildIndex);
}

void NameCheckIndex::linkKeys()
{
    // Breadth-first: each node's fail link is the longest proper suffix of its
    // text that is also a node; its output link the nearest such node with a key.
    m_keyFail.assign(m_keyChildren.size(), 0);
    m_keyOut.assign(m_keyChildren.size(), -1);
    std::deque<qint32> queue;
    for (const auto &[c, child] : m_keyChildren[0])
        queue.push_back(child);
    while (!queue.empty()) {
        const qint32 node = queue.front();
        queue.pop_front();
        for (const auto &[c, child] : m_keyChildren[size_t(node)]) {
            qint32 f = m_keyFail[size_t(node)];
            qint32 next = m_keyEdges.find(f, c.unicode());
            while (next < 0 && f != 0) {
                f = m_keyFail[size_t(f)];
                next = m_keyEdges.find(f, c.unicode());
            }
            const qint32 fail = next < 0 ? 0 : next;
            m_keyFail[size_t(child)] = fail;
            m_keyOut[size_t(child)] = m_keyAt[size_t(fail)] >= 0 ? fail : m_keyOut[size_t(fail)];
            queue.push_back(child);
        }
    }
    m_keyChildren.clear();
    m_keyChildren.shrink_to_fit();
}

qint32 NameCheckIndex::bestSuffixMatch(QStringView full) const
{
    qint32 best = std::numeric_limits<qint32>::max();
    if (m_suffixes.isEmpty())
        return best;
    SuffixHash hash;
    const qsizetype longest = std::min(full.size(), m_longestSuffix);
    for (qsizetype length = 1; length <= longest; ++length) {
        hash.extend(full[full.size() - length]);
        for (auto it = m_suffixes.constFind(hash.value);
             it != m_suffixes.cend() && it.key() == hash.value; ++it) {
            if (*it < best && m_entries.at(*it) == full.last(length))
                best = *it;
        }
    }
    return best;
}

void NameCheckIndex::collectCandidates(QStringView full, qint32 below, Lookup &lookup) const
{
    std::vector<qint32> &candidates = lookup.m_candidates;
    std::vector<quint32> &keySeen = lookup.m_keySeen;
    candidates.clear();
    if (m_wild.empty())
        return;
    if (keySeen.size() != m_keyPatterns.size()) {
        keySeen.assign(m_keyPatterns.size(), 0);
        lookup.m_stamp = 0;
    }
    if (++lookup.m_stamp == 0) {
        std::fill(keySeen.begin(), keySeen.end(), 0);
        lookup.m_stamp = 1;
    }
    const auto take = [&](qint32 wildIndex) {
        const WildPattern &w = m_wild[size_t(wildIndex)];
        if (w.entry >= below)
            return false;
        if (w.pattern.size() <= full.size())
            candidates.push_back(wildIndex);
        return true;
    };
    for (qint32 wildIndex : m_unkeyed) {
        if (!take(wildIndex))
            break;
    }
    qint32 state = 0;
    for (QChar c : full) {
        qint32 next = m_keyEdges.find(state, c.unicode());
        while (next < 0 && state != 0) {
            state = m_keyFail[size_t(state)];
            next = m_keyEdges.find(state, c.unicode());
        }
        state = next < 0 ? 0 : next;
        for (qint32 out = m_keyAt[size_t(state)] >= 0 ? state : m_keyOut[size_t(state)]; out >= 0;
             out = m_keyOut[size_t(out)]) {
            const qint32 key = m_keyAt[size_t(out)];
            if (keySeen[size_t(key)] == lookup.m_stamp)
                continue;
            keySeen[size_t(key)] = lookup.m_stamp;
            for (qint32 wildIndex : m_keyPatterns[size_t(key)]) {
                if (!take(wildIndex))
                    break;
            }
        }
    }
    // Wild indices follow table order, so sorting them sorts by entry.
    std::sort(candidates.begin(), candidates.end());
}

qint32 NameCheckIndex::firstMatch(QStringView full, Lookup &lookup) const
{
    qint32 best = bestSuffixMatch(full);
    collectCandidates(full, best, lookup);
    for (qint32 wildIndex : lookup.m_candidates) {
        const WildPattern &w = m_wild[size_t(wildIndex)];
        const QStringView text = w.wholePath ? full : full.last(w.pattern.size());
        if (PatternMatch::matches(text, w.pattern)) {
            best = w.entry;
            break;
        }
    }
    return best == std::numeric_limits<qint32>::max() ? 0 : best;
}

const QString *NameCheckIndex::threatNameAbove(qint32 entry) const
{
    if (entry < 0 || size_t(entry) >= m_headerAbove.size())
        return nullptr;
    const qint32 header = m_headerAbove[size_t(entry)];
    return header == 0 ? nullptr : &m_threatNames[size_t(header)];
}

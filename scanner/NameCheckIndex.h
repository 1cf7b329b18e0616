#pragma once

#include "scanner/EdgeTable.h"

#include <QMultiHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

struct DatabaseTables;

// The path patterns of CookDbEntries arranged for the name check, so that the
// cost of checking one path does not grow with the number of patterns while
// the answer stays that of reading the entries in table order:
// - patterns without wildcard characters are suffixes of the path; they are
//   kept by a hash of their text read from the end, which the lookup extends
//   one character at a time from the end of the path;
// - every other pattern is reached through the longest run of plain
//   characters it holds (a multi-pattern search over the path), and only the
//   ones numbered below the best plain suffix found are tried, in table order.
// The index is built once from the tables and never changes afterwards, so
// one index serves any number of scans, also at the same time.
class NameCheckIndex
{
public:
    // The scratch space of lookups: one per thread that looks up paths.
    class Lookup
    {
        friend class NameCheckIndex;
        std::vector<quint32> m_keySeen;
        quint32 m_stamp = 0;
        std::vector<qint32> m_candidates;
    };

    // The index of the tables' CookDbEntries / CookDbCount.
    explicit NameCheckIndex(const DatabaseTables &tables);

    // The number of the first pattern entry (in table order) that the
    // lower-cased, "\"-separated full path matches, or 0 for none.
    qint32 firstMatch(QStringView full, Lookup &lookup) const;

    // The threat name of the header nearest above entry, or null when no
    // header stands above it.
    const QString *threatNameAbove(qint32 entry) const;

    // The threat name of the last header of the table (what reading every
    // entry leaves behind), or null when the table has no header.
    const QString *lastThreatName() const { return threatNameAbove(m_count); }

private:
    struct WildPattern {
        qint32 entry;
        QString pattern;
        bool wholePath; // holds "*": matched against the whole path
    };

    void addSuffix(QStringView pattern, qint32 entry);
    void addKeyed(QStringView key, qint32 wildIndex);
    void linkKeys();
    qint32 bestSuffixMatch(QStringView full) const;
    void collectCandidates(QStringView full, qint32 below, Lookup &lookup) const;

    QStringList m_entries; // shared copy of the table's list
    qint32 m_count = 0;

    std::vector<qint32> m_headerAbove;  // entry -> header entry number, 0 for none
    std::vector<QString> m_threatNames; // header entry -> its threat name

    // Plain patterns: the hash of each distinct text (read from the end) to
    // its lowest entry; texts whose hashes collide share a key.
    QMultiHash<quint64, qint32> m_suffixes;
    qsizetype m_longestSuffix = 0;

    // Wildcard patterns in table order and the automaton over their keys.
    std::vector<WildPattern> m_wild;
    std::vector<qint32> m_unkeyed; // indices into m_wild without a plain run
    EdgeTable m_keyEdges;
    std::vector<std::vector<std::pair<QChar, qint32>>> m_keyChildren;
    std::vector<qint32> m_keyFail;
    std::vector<qint32> m_keyAt;                    // key number ending at the node, -1 for none
    std::vector<qint32> m_keyOut;                   // nearest node on the fail chain with a key
    std::vector<std::vector<qint32>> m_keyPatterns; // key -> indices into m_wild
};

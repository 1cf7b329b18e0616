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
// The index keeps a shared copy of the entry list it was built from: any change
// to the table's list (a reload, an edit in place) gives the list new storage,
// and a count change is seen as well, so forTables() rebuilds by itself.
class NameCheckIndex
{
public:
    // The index of the present CookDbEntries / CookDbCount.
    static const NameCheckIndex &forTables(const DatabaseTables &tables);

    // The number of the first pattern entry (in table order) that the
    // lower-cased, "\"-separated full path matches, or 0 for none.
    qint32 firstMatch(QStringView full) const;

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

    NameCheckIndex() = default;
    bool isFor(const DatabaseTables &tables) const;
    void build(const DatabaseTables &tables);
    void addSuffix(QStringView pattern, qint32 entry);
    void addKeyed(QStringView key, qint32 wildIndex);
    void linkKeys();
    qint32 bestSuffixMatch(QStringView full) const;
    void collectCandidates(QStringView full, qint32 below) const;

    QStringList m_entries; // shared copy of the table's list
    qint32 m_count = -1;

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

    // Scratch space of one lookup.
    mutable std::vector<quint32> m_keySeen;
    mutable quint32 m_lookupStamp = 0;
    mutable std::vector<qint32> m_candidates;
};

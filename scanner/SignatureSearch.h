#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

struct DatabaseTables;

// Where the content check starts reading TrojSigEntries.  The table is meant
// to be sorted by its first digest up to its first empty entry; when it is,
// every entry before the first one whose digest does not sort below the
// file's would only be read and passed over, so the search may start there.
// A table out of order is read from entry 1, as it stands.  Whether the table
// is sorted is worked out once, when the search is built from the tables.
class SignatureSearch
{
public:
    explicit SignatureSearch(const DatabaseTables &tables);

    // The first entry worth reading for the digest d1 (1 when out of order).
    qint32 startFor(QStringView d1) const;

private:
    QStringList m_entries;
    qint32 m_count = 0;
    qint32 m_firstEmpty = 1; // first empty entry, or count + 1
    bool m_sorted = false;
};

// The first digest of a signature entry: its first 32 characters.
QStringView signatureFirstDigest(const QString &entry);
// The second digest: characters 34 to 73 when the entry holds a colon
// anywhere, otherwise empty.
QStringView signatureSecondDigest(const QString &entry);
// The threat name: from character 75 on when the entry is longer than 73
// characters, otherwise from character 34 on.
QString signatureThreatName(const QString &entry);

#include "fuzz/DatabaseFuzzing.h"

#include "databases/DatabaseKeys.h"
#include "databases/DatabaseTables.h"
#include "databases/modCipher.h"
#include "fuzz/FuzzEnvironment.h"
#include "platform/Cp1252.h"
#include "platform/ProgressIndicator.h"

#include <QFile>

namespace {

void checkTable(const QStringList &entries, qint32 count)
{
    FUZZ_CHECK(!entries.isEmpty());
    FUZZ_CHECK(entries.first().isEmpty());
    FUZZ_CHECK(count >= 0);
    FUZZ_CHECK(count <= entries.size() - 1);
}

} // namespace

FuzzedLoad loadFuzzedDatabase(DatabaseFile file, const QByteArray &plain)
{
    for (DatabaseFile other : {DatabaseFile::CookDb, DatabaseFile::TrojSig, DatabaseFile::RegDb})
        QFile::remove(fuzzFolder() + QLatin1Char('/') + databaseFileName(other));
    const QByteArray cipher = EncryptBytes(DatabaseKeys::kDatabaseSelector, plain,
                                           DecodeText(DatabaseKeys::storedKeyText()),
                                           DecodeText(DatabaseKeys::storedInitText()));
    FUZZ_CHECK(!cipher.isEmpty());
    writeFuzzFile(fuzzFolder() + QLatin1Char('/') + databaseFileName(file), cipher.toBase64());

    SilentProgress bar;
    FuzzedLoad load;
    LoadDatabases(fuzzPaths(), load.tables, bar);

    const DatabaseTables &t = load.tables;
    checkTable(t.CookDbEntries, t.CookDbCount);
    checkTable(t.MemDbEntries, t.MemDbCount);
    checkTable(t.TrojSigEntries, t.TrojSigCount);
    checkTable(t.RegDbEntries, t.RegDbCount);
    const bool loaded = file == DatabaseFile::CookDb    ? t.CookDbLoaded
                        : file == DatabaseFile::TrojSig ? t.TrojSigLoaded
                                                        : t.RegDbLoaded;
    // Text that deciphers to nothing is a failed load, anything else loads.
    FUZZ_CHECK(loaded == !plain.isEmpty());
    FUZZ_CHECK(int(t.CookDbLoaded) + int(t.TrojSigLoaded) + int(t.RegDbLoaded) == int(loaded));
    load.loaded = loaded;
    return load;
}

QStringList referenceLines(const QByteArray &plain)
{
    QByteArray text = plain;
    text.replace("\r\n", "\r");
    QList<QByteArray> pieces = text.split('\r');
    // The text after the last line end is a line only when it is not empty.
    if (pieces.last().isEmpty())
        pieces.removeLast();
    QStringList lines;
    for (const QByteArray &piece : pieces)
        lines.append(Cp1252::toUnicode(piece));
    return lines;
}

PlainTable referencePlainTable(const QByteArray &plain)
{
    PlainTable table;
    for (const QString &line : referenceLines(plain)) {
        if (line.startsWith(QLatin1String("[[[")))
            table.version = line;
        else
            table.entries.append(line);
    }
    return table;
}

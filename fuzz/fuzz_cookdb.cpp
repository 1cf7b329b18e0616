// The reader of the spyware database: fuzzed deciphered text is loaded and
// the tables are compared with the reading rules applied here on their own
// (sections, markers, version line, lower-casing).  The steps that work on
// the loaded table afterwards (version stripping, folder tokens, the
// tracking-cookie patterns) run on it too.
#include "databases/DatabaseTables.h"
#include "fuzz/DatabaseFuzzing.h"
#include "fuzz/FuzzEnvironment.h"
#include "scanner/CookieScan.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray plain = fuzzBytes(data, size);
    if (!loadFuzzedDatabase(DatabaseFile::CookDb, plain))
        return 0;

    QStringList main{QString()};
    QStringList second{QString()};
    qint32 mainCount = 0; // the tables started empty: no marker, no count
    qint32 secondCount = 0;
    QString version;
    bool inSecond = false;
    qint32 counter = 1;
    for (const QString &line : referenceLines(plain)) {
        if (line.startsWith(QLatin1String("--ME-"))) {
            mainCount = counter - 1;
            counter = 1;
            inSecond = true;
        } else if (line.startsWith(QLatin1String("<<<>>"))) {
            secondCount = counter - 1;
            break;
        } else if (line.startsWith(QLatin1String("[[["))) {
            version = line;
        } else {
            if (inSecond)
                second.append(line);
            else
                main.append(line.startsWith(QLatin1String("***")) ? line : line.toLower());
            ++counter;
        }
    }
    const DatabaseTables &t = databaseTables();
    FUZZ_CHECK(t.CookDbEntries == main);
    FUZZ_CHECK(t.MemDbEntries == second);
    FUZZ_CHECK(t.CookDbCount == std::min<qint32>(mainCount, qint32(main.size() - 1)));
    FUZZ_CHECK(t.MemDbCount == std::min<qint32>(secondCount, qint32(second.size() - 1)));
    FUZZ_CHECK(t.CookDbVersion == version);

    PreparoVersioni();
    const QString stripped = databaseTables().CookDbVersion;
    FUZZ_CHECK(stripped == (version.startsWith(QLatin1String("[[[")) ? version.mid(3) : version));
    ExpandFolderTokens();
    bool found = false;
    const QStringList patterns = cookiePatterns(&found);
    FUZZ_CHECK(found || patterns.isEmpty());
    for (const QString &pattern : patterns)
        FUZZ_CHECK(pattern.startsWith(QLatin1Char('*')));
    return 0;
}

// The reader of the spyware database: fuzzed deciphered text is loaded and
// the tables are compared with the reading rules applied here on their own
// (sections, markers, version line, lower-casing).  The steps that work on
// the loaded table afterwards run on it too: version stripping and folder
// tokens, then the engine with its tracking-cookie patterns and its name
// index, whose answers are compared with reading the table in order.
#include "databases/DatabaseTables.h"
#include "fuzz/DatabaseFuzzing.h"
#include "fuzz/FuzzEnvironment.h"
#include "scanner/Engine.h"
#include "scanner/PatternMatch.h"

namespace {

// The first entry of the spyware table that the lower-cased, "\"-separated
// path matches, read in table order: a pattern with "*" must fit the whole
// path, any other one its end.
qint32 firstMatchInOrder(const DatabaseTables &t, const QString &full)
{
    for (qint32 i = 1; i <= t.CookDbCount; ++i) {
        const QString &e = t.CookDbEntries.at(i);
        if (e.startsWith(QLatin1String("***")) || e.startsWith(QLatin1String("[[[")) ||
            e.isEmpty() || e.size() > full.size())
            continue;
        if (PatternMatch::matches(e.contains(QLatin1Char('*')) ? full : full.last(e.size()), e))
            return i;
    }
    return 0;
}

// Paths to look up: each of the first entries as a path, with every
// wildcard character given a character it may stand for.
QStringList pathsFromEntries(const DatabaseTables &t)
{
    QStringList paths;
    for (qint32 i = 1; i <= t.CookDbCount && paths.size() < 8; ++i) {
        QString path = QLatin1Char('\\') + t.CookDbEntries.at(i);
        path.replace(QLatin1Char('*'), QString()).replace(QLatin1Char('?'), QLatin1Char('x'));
        path.replace(QLatin1Char('#'), QLatin1Char('7'));
        paths << path;
    }
    return paths;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray plain = fuzzBytes(data, size);
    const FuzzedLoad load = loadFuzzedDatabase(DatabaseFile::CookDb, plain);
    if (!load.loaded)
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
    const DatabaseTables &t = load.tables;
    FUZZ_CHECK(t.CookDbEntries == main);
    FUZZ_CHECK(t.MemDbEntries == second);
    FUZZ_CHECK(t.CookDbCount == std::min<qint32>(mainCount, qint32(main.size() - 1)));
    FUZZ_CHECK(t.MemDbCount == std::min<qint32>(secondCount, qint32(second.size() - 1)));
    FUZZ_CHECK(t.CookDbVersion == version);

    DatabaseTables prepared = t;
    prepareLoadedTables(prepared);
    FUZZ_CHECK(prepared.CookDbVersion ==
               (version.startsWith(QLatin1String("[[[")) ? version.mid(3) : version));
    const EngineHandle engine = makeEngine(std::move(prepared));
    const CookiePatterns &cookies = engine->cookiePatterns();
    FUZZ_CHECK(cookies.found || cookies.patterns.isEmpty());
    for (const QString &pattern : cookies.patterns)
        FUZZ_CHECK(pattern.startsWith(QLatin1Char('*')));
    NameCheckIndex::Lookup lookup;
    for (const QString &path : pathsFromEntries(engine->tables()))
        FUZZ_CHECK(engine->nameIndex().firstMatch(path, lookup) ==
                   firstMatchInOrder(engine->tables(), path));
    return 0;
}

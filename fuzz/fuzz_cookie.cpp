// The cookie scan on a fuzzed cookies.txt, with a spyware table whose
// Tracking Cookie section holds fixed patterns and one fuzzed entry.  Every
// line found must be a complete line (line feed included), no comment, of 3
// to kMaxCookieLineBytes bytes, that fits a pattern, with its bytes unchanged;
// nothing else is found and the file is left as it was.
#include "databases/DatabaseTables.h"
#include "fuzz/FuzzEnvironment.h"
#include "platform/Cp1252.h"
#include "platform/FileHandle.h"
#include "scanner/CookieScan.h"
#include "scanner/Engine.h"
#include "scanner/PatternMatch.h"

#include <QDir>
#include <QFile>

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// A database entry that yields pattern after the twelve framing characters
// in front and the four behind are cut off.
QString framed(const QString &pattern)
{
    return QStringLiteral("cookie:user@") + pattern + QStringLiteral("/.tx");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    QDir(fuzzFolder()).mkpath(QStringLiteral("mozilla/profile"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const std::string entryBytes = provider.ConsumeRandomLengthString(64);
    const std::string fileBytes = provider.ConsumeRemainingBytesAsString();
    const QByteArray content(fileBytes.data(), qsizetype(fileBytes.size()));

    // The fuzzed entry is part of the database: the engine is made for it.
    DatabaseTables t;
    t.CookDbEntries << QStringLiteral("***Adware.Sample") << QStringLiteral("c:\\bad\\*.exe")
                    << QStringLiteral("***Tracking Cookie")
                    << framed(QStringLiteral("*doubleclick*"))
                    << framed(QStringLiteral("*\tad[0-9]srv?\t*"))
                    << framed(QStringLiteral("*.track#r.*"))
                    << Cp1252::toUnicode(
                           QByteArray(entryBytes.data(), qsizetype(entryBytes.size())))
                    << QStringLiteral("***Next");
    t.CookDbCount = qint32(t.CookDbEntries.size() - 1);
    const EngineHandle engine = makeEngine(std::move(t));

    const QString directory = fuzzFolder() + QStringLiteral("/mozilla/profile/");
    const QString path = directory + QStringLiteral("cookies.txt");
    writeFuzzFile(path, content);

    const CookiePatterns &cookies = engine->cookiePatterns();
    FUZZ_CHECK(cookies.found);
    const QStringList &patterns = cookies.patterns;
    QList<QByteArray> found;
    ScanMozilla(cookies, FileHandle::openRegularFile(QFile::encodeName(path)),
                [&found](const QByteArray &line) { found << line; });

    // The lines that must be found, in file order.
    QList<QByteArray> expected;
    qsizetype start = 0;
    for (;;) {
        const qsizetype lf = content.indexOf('\n', start);
        if (lf < 0)
            break;
        const QByteArray line = content.mid(start, lf + 1 - start);
        start = lf + 1;
        if (line.size() < 3 || line.size() > kMaxCookieLineBytes || line.startsWith('#'))
            continue;
        const QString text = Cp1252::toUnicode(line);
        for (const QString &pattern : patterns) {
            if (PatternMatch::matches(text, pattern)) {
                expected.append(line);
                break;
            }
        }
    }
    FUZZ_CHECK(found == expected);

    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    FUZZ_CHECK(file.readAll() == content);
    return 0;
}

#include "databases/DatabaseLoader.h"

#include "databases/DatabaseKeys.h"
#include "databases/DatabaseTables.h"
#include "databases/modCipher.h"
#include "platform/AppPaths.h"
#include "platform/Cp1252.h"
#include "platform/ProgressIndicator.h"
#include "platform/SYSInfo.h"

#include <algorithm>

namespace {

// Keeps a table's count within the entries actually stored.
void clampCount(const QStringList &entries, qint32 &count)
{
    count = std::clamp<qint32>(count, 0, qint32(entries.size() - 1));
}

void readCookDb(const QStringList &lines, DatabaseTables &t, ProgressIndicator &bar)
{
    qint32 counter = 1;
    int section = 1;
    for (const QString &line : lines) {
        bar.setValue(bar.value() + line.size());
        if (line.startsWith(QLatin1String("--ME-"))) {
            t.CookDbCount = counter - 1;
            counter = 1;
            section = 2;
        } else if (line.startsWith(QLatin1String("<<<>>"))) {
            t.MemDbCount = counter - 1;
            break;
        } else if (line.startsWith(QLatin1String("[[["))) {
            t.CookDbVersion = line;
        } else if (section == 1) {
            t.CookDbEntries.append(line.startsWith(QLatin1String("***")) ? line : line.toLower());
            ++counter;
        } else {
            t.MemDbEntries.append(line);
            ++counter;
        }
    }
    clampCount(t.CookDbEntries, t.CookDbCount);
    clampCount(t.MemDbEntries, t.MemDbCount);
}

void readPlainTable(const QStringList &lines, QStringList &entries, qint32 &count, QString &version,
                    ProgressIndicator &bar)
{
    for (const QString &line : lines) {
        bar.setValue(bar.value() + line.size());
        if (line.startsWith(QLatin1String("[[[")))
            version = line;
        else
            entries.append(line);
    }
    count = qint32(entries.size() - 1);
}

void loadOne(const AppPaths &paths, DatabaseFile file, DatabaseTables &t, ProgressIndicator &bar)
{
    const QString path = paths.readFile(databaseFileName(file));
    QByteArray plain;
    const bool ok = decipherDatabaseFile(path, &plain);
    switch (file) {
    case DatabaseFile::CookDb:
        t.CookDbLoaded = ok;
        if (!ok) {
            t.CookDbCount = 0;
            t.MemDbCount = 0;
            return;
        }
        // The counts come from the markers of this file alone: a file
        // without them must not keep the counts of the one before.
        t.CookDbEntries = {QString()};
        t.CookDbCount = 0;
        t.MemDbEntries = {QString()};
        t.MemDbCount = 0;
        t.RegDbEntries = {QString()};
        t.RegDbCount = 0;
        break;
    case DatabaseFile::TrojSig:
        t.TrojSigLoaded = ok;
        if (!ok) {
            t.TrojSigCount = 0;
            return;
        }
        t.TrojSigEntries = {QString()};
        break;
    case DatabaseFile::RegDb:
        t.RegDbLoaded = ok;
        if (!ok) {
            t.RegDbCount = 0;
            return;
        }
        t.RegDbEntries = {QString()};
        break;
    }

    const QStringList lines = databaseLines(plain);
    plain.fill('\0');
    bar.setMaximum(double(plain.size()));
    bar.setMinimum(0);
    if (file != DatabaseFile::CookDb)
        bar.setValue(0);
    switch (file) {
    case DatabaseFile::CookDb:
        readCookDb(lines, t, bar);
        break;
    case DatabaseFile::TrojSig:
        readPlainTable(lines, t.TrojSigEntries, t.TrojSigCount, t.TrojSigVersion, bar);
        break;
    case DatabaseFile::RegDb:
        readPlainTable(lines, t.RegDbEntries, t.RegDbCount, t.RegDbVersion, bar);
        break;
    }
}

void stripVersionPrefix(QString &version)
{
    if (version.startsWith(QLatin1String("[[[")))
        version = version.mid(3);
}

} // namespace

QString databaseFileName(DatabaseFile file)
{
    switch (file) {
    case DatabaseFile::CookDb:
        return QStringLiteral("cookdb.dat");
    case DatabaseFile::TrojSig:
        return QStringLiteral("trojsig.dat");
    case DatabaseFile::RegDb:
        return QStringLiteral("regdb.dat");
    }
    return {};
}

bool decipherDatabaseFile(const QString &path, QByteArray *plain)
{
    QString source = path;
    QString key = DecodeText(DatabaseKeys::storedKeyText());
    QString init = DecodeText(DatabaseKeys::storedInitText());
    return CryptFileToMemory(DatabaseKeys::kDatabaseSelector, source, true, key, init, plain);
}

QStringList databaseLines(const QByteArray &plain)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = plain.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (plain[i] != '\r')
            continue;
        lines.append(Cp1252::toUnicode(plain.mid(start, i - start)));
        if (i + 1 < n && plain[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(Cp1252::toUnicode(plain.mid(start)));
    return lines;
}

void LoadDatabases(const AppPaths &paths, DatabaseTables &tables, ProgressIndicator &bar)
{
    loadOne(paths, DatabaseFile::CookDb, tables, bar);
    loadOne(paths, DatabaseFile::TrojSig, tables, bar);
    loadOne(paths, DatabaseFile::RegDb, tables, bar);
}

void PreparoVersioni(DatabaseTables &t)
{
    stripVersionPrefix(t.CookDbVersion);
    stripVersionPrefix(t.TrojSigVersion);
    stripVersionPrefix(t.RegDbVersion);
}

void ExpandFolderTokens(DatabaseTables &t, const QString &SystemFolder,
                        const QString &WindowsFolder)
{
    for (qint32 i = 1; i <= t.CookDbCount; ++i) {
        QString &e = t.CookDbEntries[i];
        if (e.startsWith(QLatin1String("%sy")))
            e.replace(QLatin1String("%system%\\"), SystemFolder);
        else if (e.startsWith(QLatin1String("%wi")))
            e.replace(QLatin1String("%windir%\\"), WindowsFolder);
    }
}

void prepareLoadedTables(DatabaseTables &tables)
{
    PreparoVersioni(tables);
    ExpandFolderTokens(tables, GetSystemFolder().toLower(), GetWindowsFolder().toLower());
}

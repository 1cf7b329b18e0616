#include "tests/support/CookieStoreFiles.h"

#include "scanner/CookieStoreReader.h"

#include <QFile>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>

UniqueFd openFolder(const QString &path)
{
    return UniqueFd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

CookieStoreIdentity identityOf(const QString &path)
{
    struct stat st {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {quint64(st.st_dev), quint64(st.st_ino)};
}

QList<QByteArray> cookieStoreLines(const QString &path, CookieStoreKind kind)
{
    const UniqueFd file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    QList<QByteArray> lines;
    readCookieStore({-1, QByteArray(), file.get()}, kind, [&lines](const QByteArray &line) {
        lines << line;
        return true;
    });
    return lines;
}

QStringList queryStore(const QString &path, const QByteArray &sql)
{
    sqlite3 *db = nullptr;
    QStringList rows;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return {"cannot open"};
    }
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr) != SQLITE_OK)
        rows << "error: " + QString::fromUtf8(sqlite3_errmsg(db));
    while (s && sqlite3_step(s) == SQLITE_ROW) {
        QStringList columns;
        for (int i = 0; i < sqlite3_column_count(s); ++i)
            columns << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, i)));
        rows << columns.join('|');
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return rows;
}

bool execSql(const QString &path, const QByteArray &sql)
{
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    return sqlite3_close(db) == SQLITE_OK && ok;
}

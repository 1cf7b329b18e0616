#pragma once

#include "platform/UniqueFd.h"
#include "removal/CookieStoreRemoval.h"
#include "scanner/CookieStoreKind.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Cookie stores on disk as the tests look at them: opened the way the walk
// and the removal open them, their lines, and their rows through SQLite.

// The folder at path, opened for the *at() calls.
UniqueFd openFolder(const QString &path);
// The device and inode of path itself (a link is not followed); zero when
// there is nothing at path.
CookieStoreIdentity identityOf(const QString &path);
// Every line the store's rows build, read in place as the scan reads them.
QList<QByteArray> cookieStoreLines(const QString &path, CookieStoreKind kind);
// The rows of a query on the store opened read-only, each as its columns
// joined by "|"; "cannot open" or "error: ..." when it fails.
QStringList queryStore(const QString &path, const QByteArray &sql);
// Runs sql on the database at path, made if missing; false on any error.
bool execSql(const QString &path, const QByteArray &sql);

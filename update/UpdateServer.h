#pragma once

#include <QString>

struct AppPaths;

// The update server: the base URL compiled into the program, unless the
// application folder holds a file "server.dat", whose first line replaces
// it.  The result has no trailing "/"; paths such as "/newupd/cookdb.ver" are
// appended to it.
QString updateServerBaseUrl(const AppPaths &paths);

// The base URL followed by path.
QString updateServerUrl(const AppPaths &paths, const QString &path);

#pragma once

#include <QByteArray>
#include <QStringList>

// Whether one cookie line (its LF included) is a tracking cookie under the
// patterns made by cookiePatterns(): a line of at least 3 bytes that does not
// begin with "#" and that, read as Windows-1252 text, fits one of the
// patterns as a whole.  The same test for a cookies.txt line and for a line
// built from a browser's cookie store.
bool cookieLineMatches(const QByteArray &line, const QStringList &patterns);

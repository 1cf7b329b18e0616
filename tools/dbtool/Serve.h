#pragma once

#include <QStringList>

// serve DIR PORT: serves the files of DIR over HTTP on 127.0.0.1:PORT (0
// picks a free port) until the process is stopped.  Used to try an update
// repository written by publish.
int runServe(const QStringList &args);

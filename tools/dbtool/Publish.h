#pragma once

#include <QByteArray>
#include <QStringList>

// publish PLAINDIR OUTDIR [options]: writes a complete update repository
// folder from plain-text databases.  See publishUsage() for the options.
int runPublish(const QStringList &args);
QString publishUsage();

// Sets the version of a plain database: every "[[[" line is removed and
// "[[[" + version becomes the first line.  Lines end with CR LF afterwards.
QByteArray withVersionLine(const QByteArray &plainText, const QByteArray &version);

// The version text of a plain database: its last "[[[" line without the
// brackets; ok is false when it has none.
QByteArray versionOf(const QByteArray &plainText, bool *ok);

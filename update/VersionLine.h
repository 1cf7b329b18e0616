#pragma once

#include <QByteArray>
#include <QString>

// The version a fetched version file gives: its first line, every byte up to
// the first CR (a lone LF does not end the line and stays in it; a text
// without CR is one line), decoded from Windows-1252.
QString versionLine(const QByteArray &text);

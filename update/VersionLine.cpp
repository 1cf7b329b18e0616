#include "update/VersionLine.h"

#include "platform/Cp1252.h"

QString versionLine(const QByteArray &text)
{
    const qsizetype cr = text.indexOf('\r');
    return Cp1252::toUnicode(cr < 0 ? text : text.left(cr));
}

#include "platform/DiskFileWriter.h"

#include "platform/TextFiles.h"

bool DiskFileWriter::replaceFile(const QString &path, const QByteArray &bytes)
{
    return TextFiles::writeAtomically(path, bytes);
}

#include "update/AcceptedSequence.h"

#include "platform/AppPaths.h"
#include "platform/FileWriter.h"
#include "platform/TextFiles.h"

namespace {
QString sequencePath(const AppPaths &paths)
{
    return paths.writeFile(QStringLiteral("upd.seq"));
}
} // namespace

std::optional<quint64> readAcceptedSequence(const AppPaths &paths)
{
    bool read = false;
    const QByteArray line = TextFiles::readFirstLine(sequencePath(paths), &read);
    bool number = false;
    const quint64 sequence = line.toULongLong(&number);
    if (!read || !number || line.isEmpty() || line.front() < '0' || line.front() > '9')
        return std::nullopt;
    return sequence;
}

bool storeAcceptedSequence(const AppPaths &paths, quint64 sequence, FileWriter &files)
{
    return files.replaceFile(sequencePath(paths), QByteArray::number(sequence) + "\r\n");
}

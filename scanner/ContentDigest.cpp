#include "scanner/ContentDigest.h"

#include "platform/FileHandle.h"

#include <QCryptographicHash>

std::optional<QByteArray> contentSha256(const FileHandle &file)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(buffer.data(), buffer.size());
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return hash.result();
        hash.addData(QByteArrayView(buffer.constData(), qsizetype(got)));
    }
}

QByteArray contentSha256(const QByteArray &content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha256);
}

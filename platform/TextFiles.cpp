#include "platform/TextFiles.h"

#include <QFile>
#include <QSaveFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cstdio>
#endif

QByteArray TextFiles::readFirstLine(const QString &path, bool *ok)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (ok)
            *ok = false;
        return {};
    }
    QByteArray line;
    char c = 0;
    while (file.getChar(&c) && c != '\r' && c != '\n')
        line.append(c);
    if (ok)
        *ok = true;
    return line;
}

bool TextFiles::writeAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool TextFiles::replaceFile(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t *>(from.utf16()),
                       reinterpret_cast<const wchar_t *>(to.utf16()),
                       MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

QByteArray TextFiles::toLocal8Bit(const QString &text)
{
    return text.toLocal8Bit();
}

QString TextFiles::fromLocal8Bit(const QByteArray &bytes)
{
    return QString::fromLocal8Bit(bytes);
}

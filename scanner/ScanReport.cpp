#include "scanner/ScanReport.h"

#include "platform/TextFiles.h"

#include <QStringList>

bool ScanReport::open(const QString &path)
{
    close();
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void ScanReport::writeLine(const QString &line)
{
    if (!m_file.isOpen())
        return;
    m_file.write(TextFiles::toLocal8Bit(line) + "\r\n");
}

void ScanReport::close()
{
    if (m_file.isOpen())
        m_file.close();
}

bool appendReportLines(const QString &path, const QStringList &lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += TextFiles::toLocal8Bit(line) + "\r\n";
    return file.write(bytes) == bytes.size();
}

QString reportRecordSeparator()
{
    return QStringLiteral("---------------------------");
}

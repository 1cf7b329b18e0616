#include "scanner/ScanReport.h"

#include "platform/TextFiles.h"
#include "platform/VisibleText.h"

#include <QFileInfo>

namespace {

// Names tried before the report is given up: a folder with this many reports
// of the same second is not a folder the program made.
constexpr int kMostNumberedNames = 1000;

QByteArray reportLine(const QString &line)
{
    VisibleText::Style style;
    style.doubleBackslash = false;
    style.keepTab = true;
    return TextFiles::toLocal8Bit(VisibleText::fromText(line, style)) + "\r\n";
}

} // namespace

QString ScanReport::create(const QString &folder, const QString &baseName)
{
    close();
    m_writeFailed = false;
    m_failedPath.clear();
    QString name = baseName;
    for (int n = 2; n <= kMostNumberedNames + 1; ++n) {
        const QString path = folder + name + QStringLiteral(".txt");
        m_file.setFileName(path);
        // NewOnly creates the file or fails, also when the name is a link.
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return name;
        const QFileInfo taken(path);
        if (!taken.exists() && !taken.isSymLink()) {
            fail(path);
            return {};
        }
        name = baseName + QStringLiteral(" (%1)").arg(n);
    }
    fail(folder + baseName + QStringLiteral(".txt"));
    return {};
}

void ScanReport::writeLine(const QString &line)
{
    if (!m_file.isOpen())
        return;
    const QByteArray bytes = reportLine(line);
    if (m_file.write(bytes) != bytes.size()) {
        fail(m_file.fileName());
        m_file.close();
    }
}

void ScanReport::close()
{
    if (!m_file.isOpen())
        return;
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        fail(m_file.fileName());
}

void ScanReport::appendLines(const QString &path, const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += reportLine(line);
    QFile file(path);
    // Only the existing report is appended to, never a new file made.
    if (!QFileInfo(path).isFile() ||
        !file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly |
                   QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size()) {
        fail(path);
        return;
    }
    file.close();
    if (file.error() != QFileDevice::NoError)
        fail(path);
}

void ScanReport::fail(const QString &path)
{
    if (!m_writeFailed)
        m_failedPath = path;
    m_writeFailed = true;
}

QString reportRecordSeparator()
{
    return QStringLiteral("---------------------------");
}

#include "scanner/AllowListFile.h"

#include "platform/TextFiles.h"

#include <QFile>
#include <QFileInfo>

QString AllowListFile::fileName()
{
    return QStringLiteral("allow.dat");
}

bool AllowListFile::read(const QString &path)
{
    m_lines.clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxBytes)
        return false;
    QByteArray bytes = file.read(kMaxBytes + 1);
    if (bytes.size() > kMaxBytes || file.error() != QFileDevice::NoError)
        return false;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.isEmpty())
        return true;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        m_lines.append(QString::fromUtf8(line));
    }
    return true;
}

bool AllowListFile::write(const QString &path) const
{
    QByteArray bytes;
    for (const QString &line : m_lines)
        bytes += line.toUtf8() + "\r\n";
    return TextFiles::writeAtomically(path, bytes);
}

std::optional<AllowRule> AllowListFile::ruleOfLine(const QString &line, QString *error)
{
    qsizetype start = 0;
    while (start < line.size() &&
           (line[start] == QLatin1Char(' ') || line[start] == QLatin1Char('\t')))
        ++start;
    if (start == line.size() || line[start] == QLatin1Char('#'))
        return std::nullopt;
    return AllowRule::parse(line.mid(start), error);
}

QList<AllowRule> AllowListFile::rules() const
{
    QList<AllowRule> rules;
    for (const QString &line : m_lines) {
        QString error;
        if (const std::optional<AllowRule> rule = ruleOfLine(line, &error))
            rules.append(*rule);
    }
    return rules;
}

QStringList AllowListFile::problems() const
{
    QStringList problems;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        QString error;
        if (!ruleOfLine(m_lines[i], &error) && !error.isEmpty())
            problems.append(QStringLiteral("line %1: %2").arg(i + 1).arg(error));
    }
    return problems;
}

AllowList AllowListFile::allowList() const
{
    AllowList list;
    for (const AllowRule &rule : rules())
        list.add(rule);
    return list;
}

void AllowListFile::add(const AllowRule &rule)
{
    m_lines.append(rule.text());
}

bool AllowListFile::remove(qsizetype n)
{
    qsizetype number = 0;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        QString error;
        if (ruleOfLine(m_lines[i], &error) && ++number == n) {
            m_lines.removeAt(i);
            return true;
        }
    }
    return false;
}

AllowList readAllowList(const QString &path, const QStringList &extraExclusions)
{
    AllowListFile file;
    AllowList list = file.read(path) ? file.allowList() : AllowList();
    for (const QString &glob : extraExclusions)
        list.add(AllowRule{AllowRule::Kind::Path, glob});
    return list;
}

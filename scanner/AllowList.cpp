#include "scanner/AllowList.h"

#include "platform/VisibleText.h"

#include <cctype>

namespace {

struct Keyword {
    const char *text;
    AllowRule::Kind kind;
};

constexpr Keyword kKeywords[] = {
    {"path", AllowRule::Kind::Path},
    {"threat", AllowRule::Kind::Threat},
    {"object", AllowRule::Kind::Object},
    {"sha256", AllowRule::Kind::Sha256},
};

bool isHexDigest(const QString &text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        if (!isxdigit(c.unicode() < 128 ? c.toLatin1() : 0))
            return false;
    }
    return true;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

QString AllowRule::text() const
{
    for (const Keyword &k : kKeywords) {
        if (k.kind == kind)
            return QLatin1String(k.text) + QLatin1Char(' ') + value;
    }
    return value;
}

std::optional<AllowRule> AllowRule::parse(const QString &line, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<AllowRule> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    qsizetype space = 0;
    while (space < line.size() && line[space] != QLatin1Char(' ') &&
           line[space] != QLatin1Char('\t'))
        ++space;
    if (space == line.size())
        space = -1;
    const QString keyword = space < 0 ? line : line.left(space);
    std::optional<Kind> kind;
    for (const Keyword &k : kKeywords) {
        if (keyword == QLatin1String(k.text))
            kind = k.kind;
    }
    if (!kind)
        return fail(
            QStringLiteral("unknown rule \"%1\" (path, threat, object or sha256)").arg(keyword));
    const QString value = space < 0 ? QString() : line.mid(space + 1);
    if (value.isEmpty())
        return fail(QStringLiteral("%1 rule without a value").arg(keyword));
    if (*kind == Kind::Sha256 && !isHexDigest(value))
        return fail(QStringLiteral("sha256 rule without 64 hexadecimal digits"));
    AllowRule rule;
    rule.kind = *kind;
    rule.value = *kind == Kind::Sha256 ? value.toLower() : value;
    return rule;
}

void AllowList::add(const AllowRule &rule)
{
    m_rules.append(rule);
    switch (rule.kind) {
    case AllowRule::Kind::Path:
        m_globs.emplace_back(rule.value);
        break;
    case AllowRule::Kind::Threat:
        m_threats.insert(rule.value.toCaseFolded());
        break;
    case AllowRule::Kind::Object:
        m_objects.insert(objectBytesOfRule(rule.value));
        break;
    case AllowRule::Kind::Sha256:
        m_digests.insert(QByteArray::fromHex(rule.value.toLatin1()));
        break;
    }
}

bool AllowList::excludesPath(QStringView path) const
{
    for (const PathGlob &glob : m_globs) {
        if (glob.matches(path))
            return true;
    }
    return false;
}

bool AllowList::allows(const QString &threat, const QByteArray &objectBytes,
                       const std::optional<QByteArray> &sha256) const
{
    return (!m_threats.isEmpty() && m_threats.contains(threat.toCaseFolded())) ||
           m_objects.contains(objectBytes) || (sha256 && m_digests.contains(*sha256));
}

QString AllowList::objectRuleText(const QByteArray &objectBytes)
{
    return QString::fromUtf8(VisibleText::fromUtf8Bytes(objectBytes, VisibleText::Style{}));
}

QByteArray AllowList::objectBytesOfRule(const QString &ruleText)
{
    QByteArray out;
    qsizetype plainFrom = 0;
    const auto flush = [&](qsizetype to) {
        out += ruleText.mid(plainFrom, to - plainFrom).toUtf8();
    };
    for (qsizetype i = 0; i < ruleText.size(); ++i) {
        if (ruleText[i] != QLatin1Char('\\') || i + 1 >= ruleText.size())
            continue;
        const QChar next = ruleText[i + 1];
        QByteArray byte;
        qsizetype length = 2;
        if (next == QLatin1Char('\\'))
            byte = "\\";
        else if (next == QLatin1Char('r'))
            byte = "\r";
        else if (next == QLatin1Char('n'))
            byte = "\n";
        else if (next == QLatin1Char('x') && i + 3 < ruleText.size() &&
                 hexValue(ruleText[i + 2]) >= 0 && hexValue(ruleText[i + 3]) >= 0) {
            byte = QByteArray(1, char(hexValue(ruleText[i + 2]) * 16 + hexValue(ruleText[i + 3])));
            length = 4;
        } else {
            continue;
        }
        flush(i);
        out += byte;
        i += length - 1;
        plainFrom = i + 1;
    }
    flush(ruleText.size());
    return out;
}

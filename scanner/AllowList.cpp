#include "scanner/AllowList.h"

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

// The length of the valid UTF-8 sequence at the start of s (1 to 4), or 0
// when s starts with a byte that begins none.
qsizetype utf8Sequence(QByteArrayView s)
{
    const auto b = [&s](qsizetype i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char first = b(0);
    if (first < 0x80)
        return 1;
    qsizetype length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        low = first == 0xE0 ? 0xA0 : 0x80;
        high = first == 0xED ? 0x9F : 0xBF;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        low = first == 0xF0 ? 0x90 : 0x80;
        high = first == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (s.size() < length || b(1) < low || b(1) > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (b(i) < 0x80 || b(i) > 0xBF)
            return 0;
    }
    return length;
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
    static const char kHex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(objectBytes.size() + 8);
    const auto escape = [&out](unsigned char byte) {
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    };
    for (qsizetype i = 0; i < objectBytes.size();) {
        const auto c = static_cast<unsigned char>(objectBytes[i]);
        const qsizetype length = utf8Sequence(QByteArrayView(objectBytes).sliced(i));
        if (length == 0) {
            escape(c);
            ++i;
        } else if (length > 1) {
            // U+0080 to U+009F (C2 80 to C2 9F) are control characters too.
            const bool c1 = c == 0xC2 && static_cast<unsigned char>(objectBytes[i + 1]) <= 0x9F;
            for (qsizetype k = 0; k < length; ++k) {
                if (c1)
                    escape(static_cast<unsigned char>(objectBytes[i + k]));
                else
                    out += objectBytes[i + k];
            }
            i += length;
        } else {
            if (c == '\r')
                out += "\\r";
            else if (c == '\n')
                out += "\\n";
            else if (c == '\\')
                out += "\\\\";
            else if (c < 0x20 || c == 0x7F)
                escape(c);
            else
                out += char(c);
            ++i;
        }
    }
    return QString::fromUtf8(out);
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

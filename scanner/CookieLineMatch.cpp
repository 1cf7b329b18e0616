#include "scanner/CookieLineMatch.h"

#include "platform/Cp1252.h"
#include "scanner/PatternMatch.h"

bool cookieLineMatches(const QByteArray &line, const QStringList &patterns)
{
    if (line.size() < 3 || line.at(0) == '#')
        return false;
    const QString text = Cp1252::toUnicode(line);
    for (const QString &pattern : patterns) {
        if (PatternMatch::matches(text, pattern))
            return true;
    }
    return false;
}

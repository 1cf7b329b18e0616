#include "scanner/PatternMatch.h"

namespace {

// Index of the "]" that closes the list opened at open, or -1.
qsizetype closingBracket(QStringView pattern, qsizetype open)
{
    qsizetype i = open + 1;
    if (i < pattern.size() && pattern[i] == u'!')
        ++i;
    for (; i < pattern.size(); ++i) {
        if (pattern[i] == u']')
            return i;
    }
    return -1;
}

// Whether c is accepted by the list between the brackets at open and close.
bool listAccepts(QStringView pattern, qsizetype open, qsizetype close, QChar c)
{
    qsizetype i = open + 1;
    bool negated = false;
    if (pattern[i] == u'!') {
        negated = true;
        ++i;
    }
    bool found = false;
    while (i < close && !found) {
        const QChar low = pattern[i];
        if (i + 2 < close && pattern[i + 1] == u'-') {
            const QChar high = pattern[i + 2];
            found = low <= c && c <= high;
            i += 3;
        } else {
            found = low == c;
            ++i;
        }
    }
    return found != negated;
}

// Matches one text character against the single-character element of the
// pattern at p; next receives the index after that element.
bool elementAccepts(QStringView pattern, qsizetype p, QChar c, qsizetype *next)
{
    const QChar e = pattern[p];
    if (e == u'[') {
        const qsizetype close = closingBracket(pattern, p);
        *next = close + 1;
        return listAccepts(pattern, p, close, c);
    }
    *next = p + 1;
    if (e == u'?')
        return true;
    if (e == u'#')
        return c >= u'0' && c <= u'9';
    return e == c;
}

} // namespace

bool PatternMatch::isWellFormed(QStringView pattern)
{
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'[') {
            i = closingBracket(pattern, i);
            if (i < 0)
                return false;
        }
    }
    return true;
}

bool PatternMatch::matches(QStringView text, QStringView pattern)
{
    if (!isWellFormed(pattern))
        return false;
    // Every element other than "*" takes exactly one character, so it is
    // enough to remember the latest "*" and, on a mismatch, let it take one
    // more character: the first fit found this way exists if any does.
    qsizetype t = 0;
    qsizetype p = 0;
    qsizetype starP = -1;
    qsizetype starT = 0;
    const qsizetype n = text.size();
    const qsizetype m = pattern.size();
    while (t < n) {
        if (p < m && pattern[p] == u'*') {
            starP = p++;
            starT = t;
            continue;
        }
        qsizetype next = 0;
        if (p < m && elementAccepts(pattern, p, text[t], &next)) {
            p = next;
            ++t;
            continue;
        }
        if (starP < 0)
            return false;
        p = starP + 1;
        t = ++starT;
    }
    while (p < m && pattern[p] == u'*')
        ++p;
    return p == m;
}

bool PatternMatch::hasWildcards(QStringView pattern)
{
    for (QChar c : pattern) {
        if (c == u'*' || c == u'?' || c == u'#' || c == u'[')
            return true;
    }
    return false;
}

QList<QStringView> PatternMatch::literalRuns(QStringView pattern)
{
    QList<QStringView> runs;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= pattern.size(); ++i) {
        const bool literal = i < pattern.size() && pattern[i] != u'*' && pattern[i] != u'?' &&
                             pattern[i] != u'#' && pattern[i] != u'[';
        if (literal)
            continue;
        if (i > runStart)
            runs.append(pattern.sliced(runStart, i - runStart));
        if (i < pattern.size() && pattern[i] == u'[') {
            i = closingBracket(pattern, i);
            if (i < 0)
                break;
        }
        runStart = i + 1;
    }
    return runs;
}

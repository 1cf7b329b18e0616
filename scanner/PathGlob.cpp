#include "scanner/PathGlob.h"

namespace {

bool isSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
#else
    return c == QLatin1Char('/');
#endif
}

bool sameCharacter(QChar a, QChar b)
{
#ifdef Q_OS_WIN
    if (isSeparator(a) && isSeparator(b))
        return true;
    return a == b || a.toCaseFolded() == b.toCaseFolded();
#else
    return a == b;
#endif
}

} // namespace

PathGlob::PathGlob(const QString &pattern) : m_pattern(pattern)
{
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        Token t;
        if (c == QLatin1Char('?')) {
            t.kind = Token::Kind::AnyOne;
        } else if (c == QLatin1Char('*')) {
            qsizetype end = i;
            while (end < pattern.size() && pattern[end] == QLatin1Char('*'))
                ++end;
            if (end - i == 1) {
                t.kind = Token::Kind::Star;
            } else {
                // "**" standing for whole folder names: at the start or after
                // a separator, and followed by one.
                const bool wholeNames = (i == 0 || isSeparator(pattern[i - 1])) &&
                                        end < pattern.size() && isSeparator(pattern[end]);
                t.kind = wholeNames ? Token::Kind::Folders : Token::Kind::DoubleStar;
                if (wholeNames)
                    ++end; // the separator belongs to the token
            }
            i = end - 1;
        } else {
            t.c = c;
        }
        m_tokens.push_back(t);
    }
}

bool PathGlob::matches(QStringView path) const
{
    // The states of an automaton: active[k] is "the first k tokens matched";
    // inside[k] is "within the folder names that the "**/" token k skips",
    // which leads on only once a separator ends a name.
    const size_t n = m_tokens.size();
    std::vector<char> active(n + 1, 0), inside(n + 1, 0);
    std::vector<char> nextActive(n + 1, 0), nextInside(n + 1, 0);
    // Every star may match the empty run: its state leads on to the next.
    const auto close = [this, n](std::vector<char> &states) {
        for (size_t k = 0; k < n; ++k) {
            if (states[k] && m_tokens[k].kind != Token::Kind::Literal &&
                m_tokens[k].kind != Token::Kind::AnyOne)
                states[k + 1] = 1;
        }
    };
    active[0] = 1;
    close(active);
    for (const QChar c : path) {
        std::fill(nextActive.begin(), nextActive.end(), 0);
        std::fill(nextInside.begin(), nextInside.end(), 0);
        bool any = false;
        for (size_t k = 0; k < n; ++k) {
            if (!active[k] && !inside[k])
                continue;
            const Token &t = m_tokens[k];
            switch (t.kind) {
            case Token::Kind::Literal:
                if (active[k] && sameCharacter(t.c, c))
                    nextActive[k + 1] = any = 1;
                break;
            case Token::Kind::AnyOne:
                if (active[k] && !isSeparator(c))
                    nextActive[k + 1] = any = 1;
                break;
            case Token::Kind::Star:
                if (!isSeparator(c))
                    nextActive[k] = any = 1;
                break;
            case Token::Kind::DoubleStar:
                nextActive[k] = any = 1;
                break;
            case Token::Kind::Folders:
                nextInside[k] = any = 1;
                if (isSeparator(c))
                    nextActive[k + 1] = 1;
                break;
            }
        }
        if (!any)
            return false;
        close(nextActive);
        active.swap(nextActive);
        inside.swap(nextInside);
    }
    return active[n] != 0;
}

// The wildcard matcher with pattern and text both fuzzed, compared with a
// plain dynamic-programming matcher written here from the pattern rules, and
// with the properties the name-check index relies on.
#include "fuzz/FuzzEnvironment.h"
#include "scanner/PatternMatch.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

namespace {

// One element of a pattern.
struct Element {
    enum Kind { Star, AnyOne, Digit, Literal, List } kind;
    QChar literal;
    bool negated = false;
    QString list; // the characters between the brackets (after "!")
};

bool parse(const QString &pattern, std::vector<Element> *elements)
{
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'*') {
            elements->push_back({Element::Star, {}, false, {}});
        } else if (c == u'?') {
            elements->push_back({Element::AnyOne, {}, false, {}});
        } else if (c == u'#') {
            elements->push_back({Element::Digit, {}, false, {}});
        } else if (c == u'[') {
            Element e{Element::List, {}, false, {}};
            qsizetype j = i + 1;
            if (j < pattern.size() && pattern[j] == u'!') {
                e.negated = true;
                ++j;
            }
            const qsizetype close = pattern.indexOf(u']', j);
            if (close < 0)
                return false;
            e.list = pattern.mid(j, close - j);
            elements->push_back(e);
            i = close;
        } else {
            elements->push_back({Element::Literal, c, false, {}});
        }
    }
    return true;
}

bool listHolds(const QString &list, QChar c)
{
    for (qsizetype i = 0; i < list.size();) {
        if (i + 2 < list.size() && list[i + 1] == u'-') {
            if (list[i] <= c && c <= list[i + 2])
                return true;
            i += 3;
        } else {
            if (list[i] == c)
                return true;
            ++i;
        }
    }
    return false;
}

bool accepts(const Element &e, QChar c)
{
    switch (e.kind) {
    case Element::AnyOne:
        return true;
    case Element::Digit:
        return c >= u'0' && c <= u'9';
    case Element::Literal:
        return c == e.literal;
    case Element::List:
        return listHolds(e.list, c) != e.negated;
    case Element::Star:
        break;
    }
    return false;
}

// fits[j] after k text characters: the first j elements match them.
bool referenceMatch(const QString &text, const QString &pattern)
{
    std::vector<Element> elements;
    if (!parse(pattern, &elements))
        return false;
    const size_t m = elements.size();
    std::vector<char> fits(m + 1, 0);
    fits[0] = 1;
    for (size_t j = 1; j <= m && elements[j - 1].kind == Element::Star; ++j)
        fits[j] = 1;
    for (const QChar c : text) {
        std::vector<char> next(m + 1, 0);
        for (size_t j = 1; j <= m; ++j) {
            const Element &e = elements[j - 1];
            if (e.kind == Element::Star)
                next[j] = fits[j] || next[j - 1];
            else
                next[j] = fits[j - 1] && accepts(e, c);
        }
        fits.swap(next);
    }
    return fits[m] != 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const std::string patternBytes = provider.ConsumeRandomLengthString(256);
    const std::string textBytes = provider.ConsumeRemainingBytesAsString();
    const QString pattern =
        QString::fromLatin1(patternBytes.data(), qsizetype(patternBytes.size()));
    const QString text = QString::fromLatin1(textBytes.data(), qsizetype(textBytes.size()));

    const bool wellFormed = PatternMatch::isWellFormed(pattern);
    const bool matched = PatternMatch::matches(text, pattern);
    FUZZ_CHECK(wellFormed || !matched);
    FUZZ_CHECK(matched == referenceMatch(text, pattern));
    FUZZ_CHECK(PatternMatch::hasWildcards(pattern) ==
               (pattern.contains(u'*') || pattern.contains(u'?') || pattern.contains(u'#') ||
                pattern.contains(u'[')));
    if (!PatternMatch::hasWildcards(pattern))
        FUZZ_CHECK(matched == (text == pattern));
    if (wellFormed) {
        const QList<QStringView> runs = PatternMatch::literalRuns(pattern);
        for (const QStringView run : runs) {
            FUZZ_CHECK(!run.isEmpty());
            if (matched)
                FUZZ_CHECK(text.contains(run));
        }
        // A pattern without wildcards is one run: itself.
        if (!PatternMatch::hasWildcards(pattern) && !pattern.isEmpty())
            FUZZ_CHECK(runs.size() == 1 && runs.first() == pattern);
    }
    return 0;
}

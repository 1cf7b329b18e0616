#pragma once

#include <QList>
#include <QStringView>

// The wildcard patterns of the spyware database, shared by the name check and
// the cookie scan.  A text matches when the whole text fits the whole pattern:
//   "?"      any one character
//   "*"      any run of characters, the empty run included
//   "#"      any one digit 0 to 9
//   "[...]"  one character in the list; "[!...]" one character not in it.
//            "a-f" inside the list is a range (a range written high end first
//            holds nothing); a hyphen first or last in the list is itself;
//            "[", "?", "#" and "*" inside the list are themselves.  The list
//            ends at the first "]", so "[]" holds no character.
//   anything else matches itself; characters are compared by their codes, so
//   letter case counts.
// A pattern with an unclosed "[" is malformed and matches no text.
namespace PatternMatch {

bool isWellFormed(QStringView pattern);

bool matches(QStringView text, QStringView pattern);

// True when the pattern holds any of the wildcard characters "*", "?", "#"
// or "[", i.e. when it does not simply stand for itself.
bool hasWildcards(QStringView pattern);

// The runs of pattern characters that must appear, as they are, in every
// text the pattern matches: the stretches of characters outside brackets
// other than "*", "?" and "#".  The pattern must be well formed.
QList<QStringView> literalRuns(QStringView pattern);

} // namespace PatternMatch

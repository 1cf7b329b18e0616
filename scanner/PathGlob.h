#pragma once

#include <QString>
#include <QStringView>

#include <vector>

// A path pattern of a "path" rule of the allow list, matched against a whole
// path:
//   "?"    one character other than the path separator;
//   "*"    any run of characters within one folder or file name;
//   "**"   any run of characters, separators included; written as a whole
//          name followed by a separator ("**/"), any number of whole folder
//          names, none included, so "/home/**/cache" is also "/home/cache";
//   every other character stands for itself.
// On Windows "/" and "\" are both the separator and letter case is ignored;
// elsewhere "/" is the separator and letter case counts.
//
// Matching takes time proportional to the pattern's length times the path's,
// whatever the pattern: no pattern can make it take longer.
class PathGlob
{
public:
    explicit PathGlob(const QString &pattern);

    const QString &pattern() const { return m_pattern; }
    bool matches(QStringView path) const;

private:
    struct Token {
        enum class Kind { Literal, AnyOne, Star, DoubleStar, Folders };
        Kind kind = Kind::Literal;
        QChar c;
    };

    QString m_pattern;
    std::vector<Token> m_tokens;
};

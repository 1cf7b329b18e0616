#pragma once

#include <QString>

#include <array>

// Entries of the text table past the 34 that every language file has held
// from the start.  Language files hold them after entry 34, in this order.
enum LinguaEntry : int {
    // Summary suffix before the number of objects that could not be read,
    // e.g. ", not readable: ".
    UnreadableCountText = 35,
    // Report line before the path of a folder or file the scan could not
    // read, e.g. "Could not read:".
    UnreadablePathText = 36,
};

// The user-interface texts of one language: entries 1 to kLastEntry (entry 0
// exists and is never used).
class LanguageTexts
{
public:
    static constexpr int kFirstFileEntries = 34;
    static constexpr int kLastEntry = UnreadablePathText;

    // Entry n of the text table; empty text for a number outside 1 to
    // kLastEntry.
    QString Lingua(int n) const;
    void setText(int n, const QString &text);

    bool operator==(const LanguageTexts &other) const = default;

private:
    std::array<QString, kLastEntry + 1> m_entries;
};

#include "language/LanguageTexts.h"

QString LanguageTexts::Lingua(int n) const
{
    if (n < 1 || n > kLastEntry)
        return {};
    return m_entries[size_t(n)];
}

void LanguageTexts::setText(int n, const QString &text)
{
    if (n >= 1 && n <= kLastEntry)
        m_entries[size_t(n)] = text;
}

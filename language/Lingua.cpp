#include "language/Lingua.h"

LanguageState &languageState()
{
    static LanguageState state;
    return state;
}

void resetLanguageState()
{
    languageState() = LanguageState{};
}

QString Lingua(int n)
{
    if (n < 1 || n > 34)
        return {};
    return languageState().Lingua[size_t(n)];
}

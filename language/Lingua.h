#pragma once

#include <QString>

#include <array>

// The 34 user-interface texts of the current language, entries 1 to 34
// (entry 0 exists and is never used).
struct LanguageState {
    std::array<QString, 35> Lingua;
};

LanguageState &languageState();
void resetLanguageState();

// Entry n of the text table; empty text for a number outside 1 to 34.
QString Lingua(int n);

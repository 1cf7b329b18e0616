#pragma once

#include <QString>

class FileWriter;
struct AppPaths;

// The language files of the Language folder, by button index 0 to 5:
// "english", "français", "italiano", "deutsch", "español", "nederlands".
QString languageFileName(int index);
// The language's own name for itself, as its button is called in every
// language: "English", "Français", "Italiano", "Deutsch", "Español",
// "Nederlands".
QString languageNativeName(int index);

// Makes the language file of index the new lang.dat through files (a
// durable, checked replacement), so a missing or unreadable language file, or
// a full disk, leaves the old lang.dat in place.  True only when lang.dat now
// holds the chosen file.
bool installLanguage(const AppPaths &paths, int index, FileWriter &files);

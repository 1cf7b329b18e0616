#pragma once

#include <QString>

struct AppPaths;

// The language files of the Language folder, by button index 0 to 5:
// "english", "français", "italiano", "deutsch", "español", "nederlands".
QString languageFileName(int index);

// Makes the language file of index the new lang.dat.  The file is copied to a
// temporary name beside lang.dat first and only then replaces it, so a
// missing or unreadable language file leaves the old lang.dat in place.
// True when lang.dat now holds the chosen file.
bool installLanguage(const AppPaths &paths, int index);

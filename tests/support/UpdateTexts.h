#pragma once

#include <QByteArray>

// A language file in which the texts an update shows are short words the
// tests look for: 20 "The update server does not answer.", 23 "A new version
// is out.", 24 "Up to date.", 25 "Download failed.", 33 "Last update", and
// "Server unreachable.", "List invalid.", "List expired.", "List older.",
// "Not as listed.", "Not saved." for the update's own entries; every other
// entry is its number.
QByteArray updateTestLanguageFile();

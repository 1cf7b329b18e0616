#pragma once

#include "removal/Removal.h"

#include <QList>
#include <QString>

class LanguageTexts;

// The message after a removal: Lingua(27), how many objects were removed and
// how many were not, then Lingua(28) when some were not, and the advice to
// close the browser when a browser held a cookie store open.
QString removalMessage(const LanguageTexts &texts, const QList<RowRemoval> &outcomes);

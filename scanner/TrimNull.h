#pragma once

#include <QString>

// The text up to, not including, its first NUL character; the whole text when
// it holds none.
QString TrimNull(const QString &text);

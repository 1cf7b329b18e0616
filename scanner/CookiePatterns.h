#pragma once

#include <QString>
#include <QStringList>

struct DatabaseTables;

// The tracking-cookie patterns of a spyware table, in table order.
struct CookiePatterns {
    // False (and no patterns) when the table has no tracking-cookie section.
    bool found = false;
    QStringList patterns;

    // The entries after the first one that holds "Tracking Cookie" up to the
    // next header within the 20,000 entries that follow it, each without its
    // first 12 and last 4 characters and with "*" put in front when it lacks
    // one.  "*mb*", "*com*" and "*2006*" are left out, and so is any entry of
    // fewer than 16 characters.
    static CookiePatterns fromTables(const DatabaseTables &tables);

    // True when text fits one of the patterns.
    bool matchAny(const QString &text) const;
};

// The threat name of every cookie detection.
QString trackingCookieName();

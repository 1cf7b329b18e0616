#include "removal/CookieStoreRowRemoval.h"

// The Windows build reads no cookie store, so it has no store rows to
// remove; a row that names one is not removed.
CookieStoreRowsRemoved removeCookieStoreRows(const TreeFolder &, const FoundFile &, CookieStoreKind,
                                             const QList<QByteArray> &lines,
                                             const CookieStoreRowKeeper &)
{
    CookieStoreRowsRemoved done;
    done.removed = QList<bool>(lines.size(), false);
    return done;
}

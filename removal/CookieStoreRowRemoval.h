#pragma once

#include "removal/CookieStoreRemoval.h"
#include "scanner/CookieStoreKind.h"
#include "scanner/ResultListModel.h"

#include <QByteArray>
#include <QList>

class TreeFolder;

// How the rows of one browser cookie store fared in a removal.
struct CookieStoreRowsRemoved {
    // Per line given: removed (or no longer there).
    QList<bool> removed;
    // The store was not touched because a browser holds it open.
    bool locked = false;
};

// Deletes from the store found (reached in folder, which the caller has
// checked is the folder the scan listed it in) the rows of lines, in one
// transaction, while the store is still the file the scan read; with keep,
// the rows go to it, whole, before the store is changed (CookieStoreRowKeeper).
// On systems where stores are not changed, every line fails.
CookieStoreRowsRemoved removeCookieStoreRows(const TreeFolder &folder, const FoundFile &found,
                                             CookieStoreKind kind, const QList<QByteArray> &lines,
                                             const CookieStoreRowKeeper &keep = {});

#include "removal/CookieStoreRowRemoval.h"

#include "platform/TreeChange.h"
#include "removal/CookieStoreRemoval.h"

CookieStoreRowsRemoved removeCookieStoreRows(const TreeFolder &folder, const FoundFile &found,
                                             CookieStoreKind kind, const QList<QByteArray> &lines,
                                             const CookieStoreRowKeeper &keep)
{
    const CookieStoreRemovalResult result =
        removeCookieStoreLines(folder.handle().native(), folder.entryName(), kind,
                               {found.file.device, found.file.inode}, lines, QString(), keep);
    CookieStoreRowsRemoved done;
    done.locked = result.failure == CookieStoreRemovalFailure::Locked;
    for (const CookieLineRemoval line : result.lines)
        done.removed << (line == CookieLineRemoval::Removed || line == CookieLineRemoval::NotFound);
    return done;
}

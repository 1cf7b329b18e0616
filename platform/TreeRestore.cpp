#include "platform/TreeRestore.h"

#include <QDir>

namespace {

// Why a folder on the way to path cannot be reached: the first name that is
// not there makes the place missing; anything else (a link, a file, another
// file system, no permission) refuses it.
RestorePlaceOutcome whyUnreachable(const QByteArray &root, const QByteArray &path)
{
    const char separator = QDir::separator().toLatin1();
    const QByteArray base = root.endsWith(separator) ? root : root + separator;
    if (root.isEmpty() || !path.startsWith(base))
        return RestorePlaceOutcome::Refused;
    QList<QByteArray> names = path.mid(base.size()).split(separator);
    names.removeLast();
    FileHandle folder = FileHandle::openFolder(root);
    FileStatus st;
    if (!folder.status(&st))
        return RestorePlaceOutcome::FolderMissing;
    for (const QByteArray &name : names) {
        if (!folder.statusIn(name, &st, false))
            return RestorePlaceOutcome::FolderMissing;
        if (st.kind != FileStatus::Kind::Folder)
            return RestorePlaceOutcome::Refused;
        folder = folder.openFolderIn(name);
    }
    return RestorePlaceOutcome::Refused;
}

} // namespace

RestorePlace RestorePlace::reach(const QByteArray &root, const QByteArray &path,
                                 RestorePlaceOutcome *why)
{
    RestorePlace place;
    place.m_folder = TreeFolder::reach(root, path);
    *why = place.isOpen() ? RestorePlaceOutcome::Done : whyUnreachable(root, path);
    return place;
}

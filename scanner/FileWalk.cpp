#include "scanner/FileWalk.h"

#include "platform/ProgressIndicator.h"
#include "scanner/ContentCheck.h"
#include "scanner/FileDescriptor.h"
#include "scanner/NameCheck.h"
#include "scanner/RecordDetection.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"
#include "scanner/TrimNull.h"

#include <QFile>

#include <cmath>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct ListedEntry {
    QByteArray name;
    unsigned char type; // d_type, used only when the entry cannot be looked at
};

// One folder being walked.  The walk keeps these on a stack of its own
// instead of recursing, so that a tree thousands of levels deep costs heap
// memory, not call stack; the order of work is that of the recursive walk.
struct Folder {
    QString path;          // ends with "/"
    QByteArray nativePath; // the same in the file system's bytes
    dev_t device = 0;
    ino_t inode = 0;
    std::vector<ListedEntry> entries;
    size_t next = 0;
    bool insideSubfolder = false; // the current entry's subfolder is being walked
};

bool isTheFolder(const FileDescriptor &handle, dev_t device, ino_t inode)
{
    struct stat st {
    };
    return handle.status(&st) && S_ISDIR(st.st_mode) && st.st_dev == device && st.st_ino == inode;
}

// Lists the open folder.  Every name is read at once, so the walk holds only
// the open folder it is in, at any depth.  "." and ".." are left out of the
// starting folder only.
bool listFolder(Folder &folder, const FileDescriptor &handle, bool isStart)
{
    struct stat st {
    };
    if (!handle.status(&st))
        return false;
    const int copy = ::fcntl(handle.get(), F_DUPFD_CLOEXEC, 0);
    DIR *dir = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!dir) {
        if (copy >= 0)
            ::close(copy);
        return false;
    }
    folder.device = st.st_dev;
    folder.inode = st.st_ino;
    while (const dirent *d = ::readdir(dir)) {
        const QByteArray name(d->d_name);
        if (isStart && (name == "." || name == ".."))
            continue;
        folder.entries.push_back({name, d->d_type});
    }
    ::closedir(dir);
    return true;
}

// Opens the folder on top of the stack again once the walk of its subfolders
// is over; here is the open folder depth levels down from the start.  Its
// ".." leads back at any depth, however long the path; when that is no longer
// the same folder (it was moved meanwhile) the folder's own path is tried.
// Closed when neither is the folder any more.
FileDescriptor climbBack(FileDescriptor here, size_t depth, const std::vector<Folder> &stack)
{
    const Folder &top = stack.back();
    for (; depth > stack.size() && here.isOpen(); --depth)
        here = FileDescriptor::openFolderIn(here, "..");
    if (isTheFolder(here, top.device, top.inode))
        return here;
    FileDescriptor byPath = FileDescriptor::openFolder(top.nativePath);
    return isTheFolder(byPath, top.device, top.inode) ? std::move(byPath) : FileDescriptor();
}

bool isBeingWalked(const std::vector<Folder> &stack, const struct stat &st)
{
    for (const Folder &f : stack) {
        if (f.device == st.st_dev && f.inode == st.st_ino)
            return true;
    }
    return false;
}

void moveProgress(const ScanSession &session)
{
    const double bytes = session.state().BytesScanned;
    if (bytes > kProgressUnit && session.progress())
        session.progress()->setValue(std::floor(bytes / kProgressUnit));
}

} // namespace

void ScanFolder(ScanSession &session, const QString &path)
{
    if (path.isEmpty())
        return;
    ScanState &s = session.state();
    std::vector<Folder> stack;
    // The open folder the entries are opened and looked at in, and its depth
    // (the stack size when it was on top).
    FileDescriptor here;
    size_t hereDepth = 1;
    {
        Folder start;
        start.path = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
        start.nativePath = QFile::encodeName(start.path);
        here = FileDescriptor::openFolder(start.nativePath);
        if (!listFolder(start, here, true))
            return;
        stack.push_back(std::move(start));
    }
    const dev_t device = stack.front().device;

    // Ends the current entry of the innermost folder: counts it and tells
    // whether a stop was asked for, which ends that folder's loop.
    const auto finishEntry = [&]() {
        ++s.ObjectsScanned;
        return session.stopRequested();
    };

    while (!stack.empty()) {
        Folder &folder = stack.back();
        if (folder.insideSubfolder) {
            folder.insideSubfolder = false;
            if (finishEntry()) {
                stack.pop_back();
                continue;
            }
        }
        if (folder.next >= folder.entries.size()) {
            stack.pop_back();
            continue;
        }
        if (hereDepth != stack.size()) {
            here = climbBack(std::move(here), hereDepth, stack);
            hereDepth = stack.size();
            if (!here.isOpen()) {
                // The folder went away during the walk of its subfolders:
                // what it still held cannot be reached.
                stack.pop_back();
                continue;
            }
        }
        const ListedEntry &entry = folder.entries[folder.next++];
        const QString name = TrimNull(QFile::decodeName(entry.name));
        s.CurrentFilePath = folder.path + name;
        const QByteArray nativeFull = folder.nativePath + entry.name;

        // A file listed as regular is opened once: the open file gives its
        // size and, later, its content.  Every other entry is only looked at.
        struct stat st {
        };
        FileDescriptor file;
        bool looked = false;
        if (entry.type == DT_REG) {
            file = FileDescriptor::openIn(here, entry.name);
            looked = file.status(&st);
        }
        if (!looked)
            looked = ::fstatat(here.get(), entry.name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        const bool isFolder = looked ? S_ISDIR(st.st_mode) : entry.type == DT_DIR;
        if (looked && S_ISLNK(st.st_mode)) {
            // A link counts as the size of what it leads to.
            struct stat target {
            };
            if (::fstatat(here.get(), entry.name.constData(), &target, 0) == 0 &&
                !S_ISDIR(target.st_mode))
                s.CurrentEntrySize = double(target.st_size);
        } else if (looked && !isFolder) {
            s.CurrentEntrySize = double(st.st_size);
        }
        s.BytesScanned += s.CurrentEntrySize;
        moveProgress(session);

        if (isFolder) {
            session.processEvents();
            if (looked && !name.startsWith(QLatin1Char('.')) && s.RecurseSubfolders &&
                st.st_dev == device && !isBeingWalked(stack, st)) {
                FileDescriptor subHandle = FileDescriptor::openFolderIn(here, entry.name);
                Folder sub;
                sub.path = s.CurrentFilePath + QLatin1Char('/');
                sub.nativePath = nativeFull + '/';
                if (isTheFolder(subHandle, st.st_dev, st.st_ino) &&
                    listFolder(sub, subHandle, false)) {
                    folder.insideSubfolder = true;
                    stack.push_back(std::move(sub)); // folder is not used past here
                    here = std::move(subHandle);
                    hereDepth = stack.size();
                    continue;
                }
            }
        } else if (Checkfile(session, folder.path, name)) {
            RecordDetection(session, s.CurrentThreatName, s.CurrentFilePath, nativeFull);
        } else if (s.CurrentEntrySize <= kContentCheckLimit && looked && S_ISREG(st.st_mode)) {
            if (!file.isOpen())
                file = FileDescriptor::openIn(here, entry.name);
            if (FileScan(session, file))
                RecordDetection(session, s.CurrentThreatName, s.CurrentFilePath, nativeFull);
        }
        if (finishEntry())
            stack.pop_back();
    }
}

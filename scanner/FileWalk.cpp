#include "scanner/FileWalk.h"

#include "platform/EventPump.h"
#include "platform/ProgressIndicator.h"
#include "platform/StartupState.h"
#include "scanner/ContentCheck.h"
#include "scanner/FileDescriptor.h"
#include "scanner/NameCheck.h"
#include "scanner/RecordDetection.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanState.h"
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

// Lists the folder at nativePath, which must be the folder (device, inode)
// when expected is given.  Every name is read at once and the folder closed
// again, so a deep walk holds no open descriptors.  "." and ".." are left out
// of the starting folder only.
bool listFolder(Folder &folder, const struct stat *expected, bool isStart)
{
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (expected)
        flags |= O_NOFOLLOW;
    const int fd = ::open(folder.nativePath.constData(), flags);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 ||
        (expected && (st.st_dev != expected->st_dev || st.st_ino != expected->st_ino))) {
        ::close(fd);
        return false;
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
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

bool isBeingWalked(const std::vector<Folder> &stack, const struct stat &st)
{
    for (const Folder &f : stack) {
        if (f.device == st.st_dev && f.inode == st.st_ino)
            return true;
    }
    return false;
}

void moveProgress(const ScanState &s)
{
    if (s.BytesScanned > kProgressUnit && s.progressBar)
        s.progressBar->setValue(std::floor(s.BytesScanned / kProgressUnit));
}

} // namespace

void ScanFolder(const QString &path)
{
    if (path.isEmpty())
        return;
    ScanState &s = scanState();
    const StartupState &startup = startupState();
    std::vector<Folder> stack;
    {
        Folder start;
        start.path = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
        start.nativePath = QFile::encodeName(start.path);
        if (!listFolder(start, nullptr, true))
            return;
        stack.push_back(std::move(start));
    }
    const dev_t device = stack.front().device;

    // Ends the current entry of the innermost folder: counts it and tells
    // whether a stop was asked for, which ends that folder's loop.
    const auto finishEntry = [&]() {
        ++s.ObjectsScanned;
        return startup.StopRequested;
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
        const ListedEntry &entry = folder.entries[folder.next++];
        const QString name = TrimNull(QFile::decodeName(entry.name));
        s.CurrentFilePath = folder.path + name;
        const QByteArray nativeFull = folder.nativePath + entry.name;

        // A file listed as regular is opened once: the open file gives its
        // size and, later, its content.  Every other entry is only looked at.
        struct stat st {};
        FileDescriptor file;
        bool looked = false;
        if (entry.type == DT_REG) {
            file = FileDescriptor::open(nativeFull);
            looked = file.status(&st);
        }
        if (!looked)
            looked = ::lstat(nativeFull.constData(), &st) == 0;
        const bool isFolder = looked ? S_ISDIR(st.st_mode) : entry.type == DT_DIR;
        if (looked && S_ISLNK(st.st_mode)) {
            if (const auto size = GetFileSize(nativeFull))
                s.CurrentEntrySize = *size;
        } else if (looked && !isFolder) {
            s.CurrentEntrySize = double(st.st_size);
        }
        s.BytesScanned += s.CurrentEntrySize;
        moveProgress(s);

        if (isFolder) {
            EventPump::processPendingEvents();
            if (looked && !name.startsWith(QLatin1Char('.')) && s.RecurseSubfolders &&
                st.st_dev == device && !isBeingWalked(stack, st)) {
                Folder sub;
                sub.path = s.CurrentFilePath + QLatin1Char('/');
                sub.nativePath = nativeFull + '/';
                if (listFolder(sub, &st, false)) {
                    folder.insideSubfolder = true;
                    stack.push_back(std::move(sub)); // folder is not used past here
                    continue;
                }
            }
        } else if (Checkfile(folder.path, name)) {
            RecordDetection(s.CurrentThreatName, s.CurrentFilePath);
        } else if (s.CurrentEntrySize <= kContentCheckLimit && looked && S_ISREG(st.st_mode)) {
            if (!file.isOpen())
                file = FileDescriptor::open(nativeFull);
            if (FileScan(file))
                RecordDetection(s.CurrentThreatName, s.CurrentFilePath);
        }
        if (finishEntry())
            stack.pop_back();
    }
}

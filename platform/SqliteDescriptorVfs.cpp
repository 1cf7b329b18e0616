#include "platform/SqliteDescriptorVfs.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kVfsName[] = "torvakine-descriptor";
constexpr char kNamePrefix[] = "/torvakine-descriptor/";

struct DescriptorFile {
    sqlite3_file base; // first, as SQLite expects
    int fd;
};

int fdOf(sqlite3_file *file)
{
    return reinterpret_cast<DescriptorFile *>(file)->fd;
}

int fileClose(sqlite3_file *file)
{
    ::close(fdOf(file));
    return SQLITE_OK;
}

int fileRead(sqlite3_file *file, void *buffer, int amount, sqlite3_int64 offset)
{
    char *at = static_cast<char *>(buffer);
    int done = 0;
    while (done < amount) {
        const ssize_t got = ::pread(fdOf(file), at + done, size_t(amount - done), offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return SQLITE_IOERR_READ;
        if (got == 0)
            break;
        done += int(got);
    }
    if (done < amount) {
        // SQLite needs the missing part zeroed on a short read.
        std::memset(at + done, 0, size_t(amount - done));
        return SQLITE_IOERR_SHORT_READ;
    }
    return SQLITE_OK;
}

int fileWrite(sqlite3_file *, const void *, int, sqlite3_int64)
{
    return SQLITE_READONLY;
}

int fileTruncate(sqlite3_file *, sqlite3_int64)
{
    return SQLITE_READONLY;
}

int fileSync(sqlite3_file *, int)
{
    return SQLITE_OK;
}

int fileSize(sqlite3_file *file, sqlite3_int64 *size)
{
    struct stat st {
    };
    if (::fstat(fdOf(file), &st) != 0)
        return SQLITE_IOERR_FSTAT;
    *size = st.st_size;
    return SQLITE_OK;
}

int fileLock(sqlite3_file *, int)
{
    return SQLITE_OK;
}

int fileCheckReservedLock(sqlite3_file *, int *reserved)
{
    *reserved = 0;
    return SQLITE_OK;
}

int fileControl(sqlite3_file *, int, void *)
{
    return SQLITE_NOTFOUND;
}

int fileSectorSize(sqlite3_file *)
{
    return 4096;
}

int fileDeviceCharacteristics(sqlite3_file *)
{
    return SQLITE_IOCAP_IMMUTABLE;
}

sqlite3_io_methods makeFileMethods()
{
    sqlite3_io_methods methods{};
    methods.iVersion = 1;
    methods.xClose = fileClose;
    methods.xRead = fileRead;
    methods.xWrite = fileWrite;
    methods.xTruncate = fileTruncate;
    methods.xSync = fileSync;
    methods.xFileSize = fileSize;
    methods.xLock = fileLock;
    methods.xUnlock = fileLock;
    methods.xCheckReservedLock = fileCheckReservedLock;
    methods.xFileControl = fileControl;
    methods.xSectorSize = fileSectorSize;
    methods.xDeviceCharacteristics = fileDeviceCharacteristics;
    return methods;
}

const sqlite3_io_methods kFileMethods = makeFileMethods();

sqlite3_vfs *systemVfs()
{
    return sqlite3_vfs_find(nullptr);
}

// The descriptor a database name stands for, or -1.
int descriptorOf(const char *name)
{
    const size_t prefix = sizeof kNamePrefix - 1;
    if (!name || std::strncmp(name, kNamePrefix, prefix) != 0)
        return -1;
    const char *digits = name + prefix;
    if (*digits < '0' || *digits > '9')
        return -1;
    char *end = nullptr;
    errno = 0;
    const long fd = std::strtol(digits, &end, 10);
    return (errno == 0 && *end == '\0' && fd <= 0x7fffffff) ? int(fd) : -1;
}

int vfsOpen(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    file->pMethods = nullptr;
    const int fd = descriptorOf(name);
    if (!(flags & SQLITE_OPEN_MAIN_DB) || fd < 0)
        return SQLITE_CANTOPEN;
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return SQLITE_CANTOPEN;
    reinterpret_cast<DescriptorFile *>(file)->fd = own;
    file->pMethods = &kFileMethods;
    if (outFlags)
        *outFlags = (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
    return SQLITE_OK;
}

int vfsDelete(sqlite3_vfs *, const char *, int)
{
    return SQLITE_IOERR_DELETE;
}

int vfsAccess(sqlite3_vfs *, const char *, int, int *result)
{
    *result = 0;
    return SQLITE_OK;
}

int vfsFullPathname(sqlite3_vfs *, const char *name, int size, char *out)
{
    const size_t length = std::strlen(name);
    if (size <= 0 || length >= size_t(size))
        return SQLITE_CANTOPEN;
    std::memcpy(out, name, length + 1);
    return SQLITE_OK;
}

void *vfsDlOpen(sqlite3_vfs *, const char *)
{
    return nullptr;
}

void vfsDlError(sqlite3_vfs *, int size, char *message)
{
    if (size > 0)
        message[0] = '\0';
}

void (*vfsDlSym(sqlite3_vfs *, void *, const char *))(void)
{
    return nullptr;
}

void vfsDlClose(sqlite3_vfs *, void *) {}

int vfsRandomness(sqlite3_vfs *, int size, char *out)
{
    return systemVfs()->xRandomness(systemVfs(), size, out);
}

int vfsSleep(sqlite3_vfs *, int microseconds)
{
    return systemVfs()->xSleep(systemVfs(), microseconds);
}

int vfsCurrentTime(sqlite3_vfs *, double *now)
{
    return systemVfs()->xCurrentTime(systemVfs(), now);
}

int vfsGetLastError(sqlite3_vfs *, int, char *)
{
    return 0;
}

sqlite3_vfs makeVfs()
{
    sqlite3_vfs vfs{};
    vfs.iVersion = 1;
    vfs.szOsFile = int(sizeof(DescriptorFile));
    vfs.mxPathname = 512;
    vfs.zName = kVfsName;
    vfs.xOpen = vfsOpen;
    vfs.xDelete = vfsDelete;
    vfs.xAccess = vfsAccess;
    vfs.xFullPathname = vfsFullPathname;
    vfs.xDlOpen = vfsDlOpen;
    vfs.xDlError = vfsDlError;
    vfs.xDlSym = vfsDlSym;
    vfs.xDlClose = vfsDlClose;
    vfs.xRandomness = vfsRandomness;
    vfs.xSleep = vfsSleep;
    vfs.xCurrentTime = vfsCurrentTime;
    vfs.xGetLastError = vfsGetLastError;
    return vfs;
}

} // namespace

const char *SqliteDescriptorVfs::name()
{
    static sqlite3_vfs vfs = makeVfs();
    static const bool registered = sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
    return registered ? kVfsName : "";
}

QByteArray SqliteDescriptorVfs::databaseName(int fd)
{
    return QByteArray(kNamePrefix) + QByteArray::number(fd);
}

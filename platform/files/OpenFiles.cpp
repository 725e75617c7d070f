// The process's table of open files and the share test of a new opener.
#include "platform/files/OpenFiles.h"

#include "platform/base/DebugChannel.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/paths/DrivePaths.h"

namespace zq {
namespace {

struct OpenTable {
    std::mutex lock;
    std::map<std::pair<dev_t, ino_t>, std::vector<FileObject*>> files;
};

OpenTable& Table()
{
    static OpenTable* table = new OpenTable;  // outlives every static file
    return *table;
}

// The Windows test of a new opener against one that has the file open.
bool Compatible(const FileObject& held, bool read, bool write, bool shareRead, bool shareWrite)
{
    if (read && !held.shareRead)
        return false;
    if (write && !held.shareWrite)
        return false;
    if (held.canRead && !shareRead)
        return false;
    if (held.canWrite && !shareWrite)
        return false;
    return true;
}

}  // namespace

FileObject::~FileObject()
{
    CloseNow();
}

void FileObject::OnCloseHandle()
{
    CloseNow();
}

DWORD FileObject::CloseNow()
{
    OpenTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    if (fd < 0)
        return 0;
    // The descriptor goes first, so its lock is gone once another opener
    // sees the file as closed.
    DWORD error = 0;
    if (inheritable) {
        SetDescriptorInheritable(fd, false);
        inheritable = false;
    }
    if (close(fd) != 0 && errno != EINTR)
        error = Win32ErrorFromErrno(errno);
    fd = -1;
    if (registered) {
        auto it = table.files.find(std::make_pair(device, inode));
        if (it != table.files.end()) {
            auto& list = it->second;
            for (auto entry = list.begin(); entry != list.end(); ++entry) {
                if (*entry == this) {
                    list.erase(entry);
                    break;
                }
            }
            if (list.empty())
                table.files.erase(it);
        }
        registered = false;
    }
    return error;
}

namespace {

// Opens the file and makes sure it is a regular one, with its status in st.
// The descriptor, or -1 with the Win32 error.
int OpenRegularFile(const std::string& linuxPath, bool read, bool write, FileCreation creation, struct stat& st,
                    DWORD& error)
{
    // O_NONBLOCK keeps a FIFO from stopping the open; only regular files are
    // accepted below.
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    flags |= (read && write) ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
    // A file that is created or replaced is never reached through a link,
    // so a link planted under its name cannot redirect the write.
    if (creation != FileCreation::OpenExisting)
        flags |= O_CREAT | O_NOFOLLOW;
    int fd = open(linuxPath.c_str(), flags, 0666);
    if (fd < 0) {
        const int err = errno;
        DebugFailure(zq::DebugArea::Files, "open", linuxPath.c_str(), err);
        if (err == ENOENT || err == ENOTDIR)
            error = MissingPathError(linuxPath);
        else if (err == EISDIR || err == ELOOP)
            error = ERROR_ACCESS_DENIED;
        else
            error = Win32ErrorFromErrno(err);
        return -1;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        error = ERROR_ACCESS_DENIED;
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Whether every opener of this process that has the file open lets the new
// one in.
bool AdmittedByHolders(OpenTable& table, const std::pair<dev_t, ino_t>& key, bool read, bool write, bool shareRead,
                       bool shareWrite)
{
    auto it = table.files.find(key);
    if (it == table.files.end())
        return true;
    for (const FileObject* held : it->second)
        if (!Compatible(*held, read, write, shareRead, shareWrite))
            return false;
    return true;
}

// Other processes: an unshared file is held exclusively, a shared one in
// common. File systems without flock are used without it. False when
// another process holds the file against this opener.
bool LockedAgainstOthers(int fd, bool shared)
{
    return flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

// Empties a file that is replaced; false with the Win32 error.
bool Truncated(int fd, const std::string& linuxPath, bool write, DWORD& error)
{
    const int rc = write ? ftruncate(fd, 0) : truncate(linuxPath.c_str(), 0);
    if (rc != 0) {
        error = Win32ErrorFromErrno(errno);
        return false;
    }
    return true;
}

}  // namespace

std::shared_ptr<FileObject> OpenSharedFile(const std::string& linuxPath, bool read, bool write, bool shareRead,
                                           bool shareWrite, FileCreation creation, DWORD& error)
{
    OpenTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);

    struct stat st;
    const int fd = OpenRegularFile(linuxPath, read, write, creation, st, error);
    if (fd < 0)
        return nullptr;
    const auto key = std::make_pair(st.st_dev, st.st_ino);
    if (!AdmittedByHolders(table, key, read, write, shareRead, shareWrite) ||
        !LockedAgainstOthers(fd, shareRead || shareWrite)) {
        close(fd);
        error = ERROR_SHARING_VIOLATION;
        return nullptr;
    }
    if (creation == FileCreation::CreateOrTruncate && !Truncated(fd, linuxPath, write, error)) {
        close(fd);
        return nullptr;
    }

    auto object = std::make_shared<FileObject>();
    object->fd = fd;
    object->canRead = read;
    object->canWrite = write;
    object->shareRead = shareRead;
    object->shareWrite = shareWrite;
    object->device = st.st_dev;
    object->inode = st.st_ino;
    object->registered = true;
    table.files[key].push_back(object.get());
    return object;
}

bool IsFileOpenInProcess(dev_t device, ino_t inode)
{
    OpenTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    return table.files.count(std::make_pair(device, inode)) != 0;
}

}  // namespace zq

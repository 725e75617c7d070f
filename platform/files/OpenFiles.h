// Inside the files area: the open files of the process and their share
// modes, keyed by device and inode, so that a second opener is refused as
// Windows refuses it.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/base/KernelObject.h"

namespace zq {

// One open file: its descriptor, what it was opened for and what it lets
// others do.
class FileObject : public KernelObject {
public:
    ~FileObject() override;
    void OnCloseHandle() override;

    // Closes the descriptor and leaves the table; the Win32 error of the
    // close, 0 when it went well or the file was already closed.
    DWORD CloseNow();

    int fd = -1;
    bool canRead = false;
    bool canWrite = false;
    bool shareRead = false;
    bool shareWrite = false;
    dev_t device = 0;
    ino_t inode = 0;
    bool registered = false;
    // Handed to children that inherit handles (see zq::SetDescriptorInheritable).
    bool inheritable = false;
};

// What an opening does when the file exists and when it does not. The
// layer's own: Win32's CREATE_ALWAYS, OPEN_ALWAYS and OPEN_EXISTING number
// these differently.
enum class FileCreation {
    CreateOrTruncate,  // created when missing, emptied when it exists
    OpenOrCreate,      // created when missing, opened as it is otherwise
    OpenExisting,      // opened only when it exists
};

// Opens the Linux file with the Windows access, share and creation rules.
// Returns the object, or null with the Win32 error.
std::shared_ptr<FileObject> OpenSharedFile(const std::string& linuxPath, bool read, bool write, bool shareRead,
                                           bool shareWrite, FileCreation creation, DWORD& error);

// Whether some file of this process has the file open.
bool IsFileOpenInProcess(dev_t device, ino_t inode);

}  // namespace zq

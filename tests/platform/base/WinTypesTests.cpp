// The Win32 error that stands for an errno value, checked against the codes
// that Windows documents (winerror.h), written out as numbers.
#include "platform/base/WinTypes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

TEST(WinTypes, ErrnoValuesMapToTheDocumentedWin32Errors)
{
    struct Case {
        int err;
        DWORD win32;
        const char* name;
    } cases[] = {
        {0, 0, "ERROR_SUCCESS"},
        {ENOENT, 2, "ERROR_FILE_NOT_FOUND"},
        {ENOTDIR, 3, "ERROR_PATH_NOT_FOUND"},
        {EMFILE, 4, "ERROR_TOO_MANY_OPEN_FILES"},
        {EACCES, 5, "ERROR_ACCESS_DENIED"},
        {EPERM, 5, "ERROR_ACCESS_DENIED"},
        {EBADF, 6, "ERROR_INVALID_HANDLE"},
        {ENOMEM, 8, "ERROR_NOT_ENOUGH_MEMORY"},
        {EROFS, 19, "ERROR_WRITE_PROTECT"},
        {EINVAL, 87, "ERROR_INVALID_PARAMETER"},
        {EPIPE, 109, "ERROR_BROKEN_PIPE"},
        {ENOSPC, 112, "ERROR_DISK_FULL"},
        {ENOTEMPTY, 145, "ERROR_DIR_NOT_EMPTY"},
        // Windows has two codes for it: ERROR_FILE_EXISTS (80) from
        // CreateFile and ERROR_ALREADY_EXISTS (183) from CreateDirectory and
        // MoveFile; the mapping gives the latter.
        {EEXIST, 183, "ERROR_ALREADY_EXISTS"},
        {ENAMETOOLONG, 206, "ERROR_FILENAME_EXCED_RANGE"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.win32, Win32ErrorFromErrno(c.err)) << std::strerror(c.err) << " should be " << c.name;
}

}  // namespace

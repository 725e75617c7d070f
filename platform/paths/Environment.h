// The process environment as the system reads it: Windows-1252 values, the
// Win32 buffer rules, and names found regardless of letter case.
//
// "TMP" and "TEMP" values that are absolute Linux paths are shown in their
// Windows form (Z:\...). When neither holds a value, as is usual on Linux,
// "TMP" reads as a folder that only the user can reach, as Windows gives
// every user one: <user cache folder>/tmp (UserFolders.h), made with mode
// 0700 when missing and made private again when others may use it. One
// that is not the user's own, or is a link, is refused: "TMP" then reads as
// missing.
#pragma once

#include "platform/base/WinTypes.h"

// Copies the value of the variable with its NUL into buffer and returns its
// length without the NUL. When the buffer (size in bytes, NUL included) is
// too small, returns the size needed including the NUL and leaves the
// buffer as it was. A missing variable returns 0 with ERROR_ENVVAR_NOT_FOUND;
// an empty one returns 0 with an empty buffer.
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);

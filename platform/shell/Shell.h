// ShellExecuteA: opens a document or an address with the desktop's default
// program (xdg-open), as the Windows shell does.
#pragma once

#include "platform/base/WinTypes.h"

#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

// Returns a value above 32 on success. On failure, as Win32 documents: 0
// when out of memory, ERROR_FILE_NOT_FOUND (SE_ERR_FNF) or
// ERROR_PATH_NOT_FOUND (SE_ERR_PNF) for a drive path that names nothing or a
// directory that does not exist, SE_ERR_ACCESSDENIED, and SE_ERR_NOASSOC
// for a verb other than "open" (or none) or when there is no program to open
// it with. xdg-open is started as every child of the program is
// (CreateProcessA): its standard streams on /dev/null, ended with the
// program; the call does not wait for it.
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int show);

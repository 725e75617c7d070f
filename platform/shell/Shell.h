// ShellExecuteA: opens a document or an address with the desktop's default
// program (xdg-open), as the Windows shell does.
#pragma once

#include "platform/base/WinTypes.h"

#define SE_ERR_FNF 2
#define SE_ERR_NOASSOC 31

// Returns a value above 32 on success, else an SE_ERR_* code. Only the verb
// "open" (or none) is known.
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int show);

// Run-time loading of libraries: LoadLibraryA, GetProcAddress, FreeLibrary.
//
// A Windows path names the Linux shared library to load (a link such as
// libexpat.dll -> libexpat.so.1 in the program folder works). A bare name
// is looked for in the program folder, then in the current directory; a
// name without an extension gets ".dll". "kernel32.dll" is built into the
// layer and offers the layer's own GetDiskFreeSpaceExA and
// GetDiskFreeSpaceA. Failures return null with ERROR_MOD_NOT_FOUND (no such
// file), ERROR_BAD_EXE_FORMAT (not a library) or ERROR_PROC_NOT_FOUND (no
// such function in that library); an unknown module handle gives
// ERROR_INVALID_HANDLE.
#pragma once

#include "platform/base/WinTypes.h"

HMODULE LoadLibraryA(LPCSTR lpLibFileName);
// Only functions of the library itself are found, not those of the
// libraries it depends on. Names are compared exactly.
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);

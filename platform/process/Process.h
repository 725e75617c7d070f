// Child processes: CreateProcessA and GetExitCodeProcess.
//
// The command line is split into arguments by the Windows rules (those of
// CommandLineToArgvW) and the program is started directly, without a shell.
// Arguments that are drive paths, whole or after a leading option letter
// such as -o ("-oZ:\tmp\out"), reach the child as Linux paths. The child's
// standard input and output are /dev/null. With bInheritHandles TRUE it
// holds the layer's inheritable handles (files that CFile opened without
// modeNoInherit) under their descriptor numbers, as a Windows child holds
// the inheritable handles; it sees no other descriptor of the layer, which
// are close-on-exec. Window flags and the show state have nothing to do on
// Linux.
//
// The process handle and the thread handle of PROCESS_INFORMATION are both
// signalled when the child ends; both are closed with CloseHandle.
//
// No child outlives the program, whatever ends it. Each child runs below a
// launcher, a copy of this process that leads the child's process group
// and ends the whole group as soon as this process has ended, by any
// signal, SIGKILL included, or by exit; the child itself also gets the
// kernel's parent-death signal from the launcher. The process id given
// back is the child's; the handles wait for the launcher, which ends only
// after the child, with its exit status.
#pragma once

#include "platform/base/KernelObject.h"

#include <string>
#include <vector>

#define STARTF_USESHOWWINDOW 0x00000001u
#define STARTF_USESTDHANDLES 0x00000100u
#define DETACHED_PROCESS 0x00000008u
#define CREATE_NEW_CONSOLE 0x00000010u
#define CREATE_NO_WINDOW 0x08000000u

typedef struct _STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;
typedef STARTUPINFOA STARTUPINFO;
typedef LPSTARTUPINFOA LPSTARTUPINFO;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

// A program that does not exist fails with ERROR_FILE_NOT_FOUND, one that
// cannot be run with ERROR_ACCESS_DENIED. A bare program name is looked for
// in the program's own folder, the current directory and then PATH.
// lpEnvironment, when given, is a block of "NAME=value\0" strings ending in
// an empty string.
BOOL CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                    LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                    LPPROCESS_INFORMATION lpProcessInformation);

// STILL_ACTIVE while the child runs; its exit status after, or 128 + the
// signal's number when a signal ended it.
BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);

// Ends the child at once (SIGKILL), and with it every process it started
// (each child runs in a process group of its own); its exit code then reads
// 128 + 9. The handle is signalled once the child is gone, its files
// closed and their locks given back, as on Windows.
// FALSE with ERROR_ACCESS_DENIED when it has already ended.
BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode);

// Runs the actions of a fatal end (platform/base/FatalEnd.h): every child
// that still runs ends, with the processes it started (as TerminateProcess
// does), and the ports are given back; then this process ends at once with
// the code. Nothing of the program outlives it, as if the children ran in a
// job that ends with the program; no destructor and no exit handler runs.
[[noreturn]] void ExitProcess(UINT uExitCode);

namespace zq {

// Ends every child that still runs, with what it started. Safe to call from
// a signal handler; CreateProcessA adds it to the actions of a fatal end
// (platform/base/FatalEnd.h), so the children end first on the signals
// that RunFatalEndActionsOnSignals catches and on the display's loss.
void EndChildProcesses();

// Splits a command line into arguments by the Windows rules: blanks and tabs
// separate arguments outside double quotes; 2n backslashes before a quote
// give n backslashes and the quote opens or closes a quoted part; 2n+1
// give n backslashes and a literal quote; other backslashes are literal; ""
// inside a quoted part gives a literal quote. The first argument, the
// program, ends at the next quote or blank and knows no escapes.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace zq

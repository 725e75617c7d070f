// Serial ports: CreateFileA on "\\.\COMn", the line settings (DCB), the
// time-outs (COMMTIMEOUTS), overlapped ReadFile and WriteFile with
// GetOverlappedResult, SetupComm, SetCommMask, PurgeComm and
// EscapeCommFunction, with the Win32 behaviour the system relies on. Which
// device a COM name opens: ComPorts.h.
//
// A port is opened exclusively: a second CreateFileA on the same device, by
// this or another process, fails with ERROR_ACCESS_DENIED. A port that does
// not open prints one line to stderr with the port, its device and the
// reason (the "serial" area of DebugChannel.h; failing Linux calls of the
// area are printed there under ZQDEBUG=serial).
//
// Overlapped I/O completes on a thread of the port. A read or write that
// cannot complete at once returns FALSE with ERROR_IO_PENDING; its
// OVERLAPPED's event is reset when the operation begins and set when it
// completes (also when it completes at once). When the other side of the
// line goes away, a pending read completes with ERROR_DEVICE_NOT_CONNECTED.
//
// A write completes once its bytes have left the PC as far as the device
// tells (its output queue is empty), as a Windows serial write completes
// only when the UART or USB device has its bytes; when the write time-out
// passes first, it ends short with the bytes that left, and the rest is
// discarded. So the bytes of a completed write are never discarded later:
// PURGE_TXABORT and PURGE_TXCLEAR, and CloseHandle, drop only bytes of a
// write still in progress.
//
// CloseHandle and PurgeComm with PURGE_RXABORT / PURGE_TXABORT complete the
// pending operations with ERROR_OPERATION_ABORTED; once CloseHandle has
// returned, the port no longer touches the caller's buffers or OVERLAPPED.
//
// Only one read and one write may be outstanding on a port at a time; a
// second one of the same kind fails with ERROR_INVALID_PARAMETER.
// Files other than COM ports are not opened here: CreateFileA fails with
// ERROR_FILE_NOT_FOUND for any other name.
#pragma once

#include "platform/base/KernelObject.h"
#include "platform/serial/ComPorts.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_FLAG_OVERLAPPED 0x40000000u

#define MAXDWORD 0xFFFFFFFFu

// Status kept in OVERLAPPED::Internal while an operation is outstanding.
#define STATUS_PENDING 0x00000103u
#define HasOverlappedIoCompleted(lpOverlapped) ((lpOverlapped)->Internal != STATUS_PENDING)

typedef struct _OVERLAPPED {
    ULONG_PTR Internal;      // status of the operation
    ULONG_PTR InternalHigh;  // bytes transferred
    union {
        struct {
            DWORD Offset;
            DWORD OffsetHigh;
        } s;
        LPVOID Pointer;
    } u;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

// Line settings.
#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define MARKPARITY 3
#define SPACEPARITY 4
#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2

#define CBR_9600 9600u
#define CBR_19200 19200u
#define CBR_38400 38400u
#define CBR_57600 57600u
#define CBR_115200 115200u
#define CBR_128000 128000u
#define CBR_256000 256000u

#define DTR_CONTROL_DISABLE 0x00
#define DTR_CONTROL_ENABLE 0x01
#define DTR_CONTROL_HANDSHAKE 0x02
#define RTS_CONTROL_DISABLE 0x00
#define RTS_CONTROL_ENABLE 0x01
#define RTS_CONTROL_HANDSHAKE 0x02
#define RTS_CONTROL_TOGGLE 0x03

typedef struct _DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
} DCB, *LPDCB;

typedef struct _COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
} COMMTIMEOUTS, *LPCOMMTIMEOUTS;

// Event mask (SetCommMask). The mask is accepted; nothing waits on it here.
#define EV_RXCHAR 0x0001u
#define EV_RXFLAG 0x0002u
#define EV_TXEMPTY 0x0004u
#define EV_CTS 0x0008u
#define EV_DSR 0x0010u
#define EV_RLSD 0x0020u
#define EV_BREAK 0x0040u
#define EV_ERR 0x0080u
#define EV_RING 0x0100u

#define PURGE_TXABORT 0x0001u
#define PURGE_RXABORT 0x0002u
#define PURGE_TXCLEAR 0x0004u
#define PURGE_RXCLEAR 0x0008u

#define SETXOFF 1
#define SETXON 2
#define SETRTS 3
#define CLRRTS 4
#define SETDTR 5
#define CLRDTR 6
#define SETBREAK 8
#define CLRBREAK 9

// dwShareMode must be 0 and the disposition OPEN_EXISTING for a COM port.
// Without FILE_FLAG_OVERLAPPED, ReadFile and WriteFile wait for their end.
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE hTemplateFile);

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped);
// With bWait FALSE and the operation still outstanding: FALSE with
// ERROR_IO_INCOMPLETE. With bWait TRUE it waits for the operation's end.
BOOL GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped, LPDWORD lpNumberOfBytesTransferred, BOOL bWait);

BOOL GetCommState(HANDLE hFile, LPDCB lpDCB);
// The DCB becomes the device's termios settings: speed, data bits, parity,
// stop bits, RTS/CTS (fOutxCtsFlow or RTS_CONTROL_HANDSHAKE) and XON/XOFF
// (fOutX, fInX with XonChar, XoffChar); the line is always raw (no echo, no
// translation, no signals). A speed that Linux cannot set fails with
// ERROR_INVALID_PARAMETER.
BOOL SetCommState(HANDLE hFile, LPDCB lpDCB);
BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
// The queue sizes are accepted and left to the driver.
BOOL SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue);
BOOL SetCommMask(HANDLE hFile, DWORD dwEvtMask);
BOOL PurgeComm(HANDLE hFile, DWORD dwFlags);
// DTR and RTS use the modem-control lines; a device without them (a
// pseudo-terminal) goes on as a driver without modem lines would: TRUE.
BOOL EscapeCommFunction(HANDLE hFile, DWORD dwFunc);

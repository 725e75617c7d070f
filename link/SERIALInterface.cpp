// The car kit's COM port: opening and setting up the line, closing it, and the
// overlapped reads and writes.
#include "link/SERIALInterface.h"

#include <cstdio>
#include <cstring>

#include "platform/threads/Threads.h"

SERIALInterface::SERIALInterface()
    : m_BaudCode(115), m_Parity(0), m_PortNumber(6), m_hPort(nullptr), m_ErrorState(0), m_IsOpen(0)
{
    memset(m_PortName, 0, sizeof(m_PortName));
    memset(&m_Dcb, 0, sizeof(m_Dcb));
    memset(&m_Timeouts, 0, sizeof(m_Timeouts));
    memset(&m_WriteOverlapped, 0, sizeof(m_WriteOverlapped));
    memset(&m_ReadOverlapped, 0, sizeof(m_ReadOverlapped));
    m_WriteOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_ReadOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_WriteOverlapped.hEvent == nullptr || m_ReadOverlapped.hEvent == nullptr)
        m_ErrorState = 1;
}

SERIALInterface::~SERIALInterface()
{
    if (m_IsOpen)
        CloseHandle(m_hPort);
    if (m_WriteOverlapped.hEvent != nullptr)
        CloseHandle(m_WriteOverlapped.hEvent);
    if (m_ReadOverlapped.hEvent != nullptr)
        CloseHandle(m_ReadOverlapped.hEvent);
}

int SERIALInterface::Open()
{
    m_ErrorState = 0;
    if (OpenPort() == 0)
        m_ErrorState = 1;
    return m_ErrorState;
}

int SERIALInterface::OpenPort()
{
    snprintf(m_PortName, sizeof(m_PortName), "\\\\.\\COM%d", m_PortNumber);
    m_hPort = CreateFileA(m_PortName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (m_hPort == INVALID_HANDLE_VALUE) {
        m_hPort = nullptr;
        m_IsOpen = 0;
        return 0;
    }
    m_IsOpen = 1;
    SetCommMask(m_hPort, EV_RXCHAR | EV_TXEMPTY);
    SetupComm(m_hPort, 4096, 4096);
    PurgeComm(m_hPort, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    // A read waits for its first byte without limit and ends 10 ms after
    // its last one; a write is given 750 ms in all.
    m_Timeouts.ReadIntervalTimeout = 10;
    m_Timeouts.ReadTotalTimeoutMultiplier = 0;
    m_Timeouts.ReadTotalTimeoutConstant = 0;
    m_Timeouts.WriteTotalTimeoutMultiplier = 0;
    m_Timeouts.WriteTotalTimeoutConstant = 750;
    SetCommTimeouts(m_hPort, &m_Timeouts);
    if (!ConfigurePort()) {
        CloseHandle(m_hPort);
        m_hPort = nullptr;
        m_IsOpen = 0;
        return 0;
    }
    // DTR goes up only once the line settings are in force.
    EscapeCommFunction(m_hPort, SETDTR);
    return 1;
}

BOOL SERIALInterface::ConfigurePort()
{
    m_Dcb.DCBlength = sizeof(DCB);
    GetCommState(m_hPort, &m_Dcb);
    switch (m_BaudCode) {
    case 9:
        m_Dcb.BaudRate = CBR_9600;
        break;
    case 38:
        m_Dcb.BaudRate = CBR_38400;
        break;
    case 57:
        m_Dcb.BaudRate = CBR_57600;
        break;
    case 128:
        m_Dcb.BaudRate = CBR_128000;
        break;
    case 115:
    default:
        m_Dcb.BaudRate = CBR_115200;
        break;
    }
    m_Dcb.fBinary = TRUE;
    m_Dcb.fParity = TRUE;
    m_Dcb.fOutxCtsFlow = TRUE;
    m_Dcb.fOutxDsrFlow = FALSE;
    m_Dcb.fDtrControl = DTR_CONTROL_DISABLE;
    m_Dcb.fDsrSensitivity = FALSE;
    m_Dcb.fOutX = FALSE;
    m_Dcb.fInX = FALSE;
    m_Dcb.fNull = FALSE;
    m_Dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    m_Dcb.fAbortOnError = FALSE;
    m_Dcb.XonLim = 0;
    m_Dcb.XoffLim = 0;
    m_Dcb.ByteSize = 8;
    m_Dcb.Parity = m_Parity;
    m_Dcb.StopBits = ONESTOPBIT;
    m_Dcb.XonChar = 0x11;
    m_Dcb.XoffChar = 0x13;
    return SetCommState(m_hPort, &m_Dcb);
}

void SERIALInterface::ClosePort()
{
    if (m_hPort == nullptr)
        return;
    EscapeCommFunction(m_hPort, CLRDTR);
    PurgeComm(m_hPort, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    if (m_IsOpen) {
        CloseHandle(m_hPort);
        m_IsOpen = 0;
        m_hPort = nullptr;
    }
}

int SERIALInterface::Write(const BYTE* data, int count)
{
    if (!m_IsOpen)
        return 0;
    DWORD written = 0;
    if (::WriteFile(m_hPort, data, static_cast<DWORD>(count), &written, &m_WriteOverlapped)) {
        // Signalled here too, so the waiter sees every completion alike.
        SetEvent(m_WriteOverlapped.hEvent);
        return static_cast<int>(written);
    }
    // ERROR_IO_PENDING: the event is signalled when the write completes.
    // Any other error signals nothing.
    return 0;
}

int SERIALInterface::Read(BYTE* buffer, int count)
{
    if (!m_IsOpen)
        return 0;
    DWORD read = 0;
    if (::ReadFile(m_hPort, buffer, static_cast<DWORD>(count), &read, &m_ReadOverlapped)) {
        // The manual-reset event stays signalled until the next Read.
        SetEvent(m_ReadOverlapped.hEvent);
        return static_cast<int>(read);
    }
    if (GetLastError() == 0)
        return static_cast<int>(read);
    return 0;
}

void SERIALInterface::SetPortNumber(BYTE portNumber)
{
    m_PortNumber = portNumber;
}

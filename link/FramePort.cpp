// The port side of the frame layer: opening and closing the one port, the
// senders, the wait on the link and the stored port number.
#include <cstdlib>
#include <cstring>
#include <new>

#include "link/FrameLayer.h"
#include "link/SERIALInterface.h"
#include "platform/registry/Registry.h"
#include "platform/threads/Threads.h"

namespace {

// 1 while a write handed to the port has not been seen to complete. A new
// frame must wait for it: the stuffed block and the write's OVERLAPPED stay
// in use until then.
int s_WritePending = 0;

// Stuffed length of the frame handed to the port last.
DWORD s_WriteCount = 0;

// Longest wait of a sender for the earlier write. The port gives a write
// 750 ms in all, so a write that has not ended by then never will.
const DWORD WRITE_COMPLETION_WAIT = 2000;

// Whether the write whose completion has just been seen took the whole
// frame. A write that failed or ended short at its time-out lost the frame
// (the car kit gets a cut one), and the link cannot go on after it.
bool WriteWentOut()
{
    DWORD written = 0;
    if (!GetOverlappedResult(m_pSerialPort->GetHandle(), &m_pSerialPort->m_WriteOverlapped, &written, FALSE))
        return false;
    return written == s_WriteCount;
}

}  // namespace

SERIALInterface* m_pSerialPort = nullptr;
HANDLE m_hReadEvent = nullptr;
HANDLE m_hWriteEvent = nullptr;
OVERLAPPED* m_pReadOverlapped = nullptr;

int OpenSerialPort(int portNumber)
{
    if (m_pSerialPort != nullptr)
        CloseSerialPort();
    // COM numbers above 255 cannot be named to the port; opening the port
    // that the low byte names instead would reach the wrong device.
    if (portNumber < 0 || portNumber > 255)
        return 0;
    SERIALInterface* port = new (std::nothrow) SERIALInterface;
    if (port == nullptr)
        return 0;
    m_ReadPending = 0;
    m_RxAvailable = 0;
    m_RxConsumed = 0;
    s_WritePending = 0;
    s_WriteCount = 0;
    port->SetPortNumber(static_cast<BYTE>(portNumber));
    if (port->Open() != 0 || port->GetReadEvent() == nullptr || port->GetWriteEvent() == nullptr) {
        port->ClosePort();
        delete port;
        return 0;
    }
    m_pSerialPort = port;
    m_hReadEvent = port->GetReadEvent();
    m_hWriteEvent = port->GetWriteEvent();
    m_pReadOverlapped = port->GetReadOverlapped();
    return 1;
}

void CloseSerialPort()
{
    if (m_pSerialPort == nullptr)
        return;
    // The session's last frame may still be going out (a PtHostNak just
    // before the result): it is given its time before the port goes.
    if (s_WritePending)
        WaitForSingleObject(m_hWriteEvent, WRITE_COMPLETION_WAIT);
    s_WritePending = 0;
    m_pSerialPort->ClosePort();
    delete m_pSerialPort;
    m_pSerialPort = nullptr;
    m_hReadEvent = nullptr;
    m_hWriteEvent = nullptr;
    m_pReadOverlapped = nullptr;
    m_ReadPending = 0;
    s_WritePending = 0;
}

int SendFrame(BYTE type, const void* part1, int length1, const void* part2, int length2)
{
    if (m_pSerialPort != nullptr && s_WritePending) {
        if (WaitForSingleObject(m_hWriteEvent, WRITE_COMPLETION_WAIT) != WAIT_OBJECT_0)
            return 0;  // the earlier write still holds the blocks
        s_WritePending = 0;
        if (!WriteWentOut())
            return 0;
    }
    int length = BuildFrame(type, part1, length1, part2, length2);
    if (length == 0)
        return 0;
    int count = EncodeFrame(m_TxFrame, length);
    if (m_pSerialPort == nullptr)
        return 1;
    s_WriteCount = static_cast<DWORD>(count);
    SetLastError(0);
    int written = m_pSerialPort->Write(m_TxEncoded, count);
    DWORD error = GetLastError();
    if (written == count || (written == 0 && error == ERROR_IO_PENDING)) {
        s_WritePending = 1;
        return 1;
    }
    // The port refused the write: nothing went out, nothing is signalled.
    return 0;
}

int SendConnect()
{
    return SendFrame(PtConnect, nullptr, 0);
}

UINT WaitForEvent(DWORD milliseconds)
{
    return WaitForEventOr(milliseconds, nullptr);
}

UINT WaitForEventOr(DWORD milliseconds, HANDLE wake)
{
    if (m_pSerialPort == nullptr)
        return EVENT_ERROR;
    if (!m_ReadPending && m_RxAvailable <= m_RxConsumed) {
        m_ReadPending = 1;
        m_RxPos = m_RxBuffer;
        SetLastError(0);
        int count = m_pSerialPort->Read(m_RxBuffer, FRAME_READ_SIZE);
        DWORD error = GetLastError();
        m_RxAvailable = static_cast<DWORD>(count);
        m_RxConsumed = 0;
        if (count == 0 && error != 0 && error != ERROR_IO_PENDING) {
            // The read failed outright (the device is gone): waiting for it
            // would only end in the time-out.
            m_ReadPending = 0;
            m_RxAvailable = 0;
            return EVENT_ERROR;
        }
    }
    HANDLE events[3] = {m_hReadEvent, m_hWriteEvent, wake};
    DWORD wait = WaitForMultipleObjects(wake != nullptr ? 3 : 2, events, FALSE, milliseconds);
    if (wait == WAIT_OBJECT_0) {
        DWORD count = 0;
        BOOL done = GetOverlappedResult(m_pSerialPort->GetHandle(), m_pReadOverlapped, &count, FALSE);
        m_ReadPending = 0;
        // With these time-outs a read ends only once a byte has arrived; a
        // read that failed or ended empty means the device has gone away.
        if (!done || count == 0) {
            m_RxAvailable = 0;
            m_RxConsumed = 0;
            return EVENT_ERROR;
        }
        m_RxAvailable = count < static_cast<DWORD>(FRAME_READ_SIZE) ? count : FRAME_READ_SIZE;
        return EVENT_READ_IND;
    }
    if (wait == WAIT_OBJECT_0 + 1) {
        s_WritePending = 0;
        if (!WriteWentOut())
            return EVENT_ERROR;  // the frame did not go out whole
        return EVENT_TRANSMIT_DONE;
    }
    if (wait == WAIT_TIMEOUT)
        return EVENT_TIMEOUT;
    if (wait == WAIT_OBJECT_0 + 2)
        return EVENT_WOKEN;
    m_ReadPending = 0;
    return EVENT_ERROR;
}

int QueryPortNumber()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ZQUpdateManager\\Settings", 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return -1;
    char value[101];
    DWORD length = 100;
    if (RegQueryValueExA(key, "PortNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &length) !=
        ERROR_SUCCESS) {
        RegCloseKey(key);
        return -1;
    }
    RegCloseKey(key);
    if (length > 100)
        length = 100;
    value[length] = '\0';  // a stored value need not end with its NUL
    if (length < 3 || strncmp(value, "COM", 3) != 0)
        return -1;
    // Read like atoi, but without its undefined overflow.
    long number = strtol(value + 3, nullptr, 10);
    if (number > 0x7FFFFFFFL)
        number = 0x7FFFFFFFL;
    if (number < -0x7FFFFFFFL)
        number = -0x7FFFFFFFL;
    return static_cast<int>(number);
}

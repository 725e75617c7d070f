// One COM port opened for overlapped I/O, set up for the car kit's line:
// 115200 baud, 8 data bits, no parity, one stop bit, RTS/CTS handshake.
// Reads and writes start without blocking and signal their completion
// through two events that the frame layer waits on. The class keeps no
// buffer of its own: the caller owns every buffer it passes.
#pragma once

#include "platform/base/WinTypes.h"
#include "platform/serial/Serial.h"

// Final: the class has virtual operations but no virtual destructor, and is
// always destroyed as its own type.
class SERIALInterface final {
public:
    SERIALInterface();
    ~SERIALInterface();

    // 0 when the port was opened and set up, 1 when not.
    int Open();
    // 1 on success, 0 on failure.
    virtual int OpenPort();
    virtual BOOL ConfigurePort();
    // Clears DTR, purges both queues and closes the port.
    void ClosePort();

    // Start an overlapped write or read. Each returns the byte count when
    // the operation completed at once, else 0; the completion is signalled
    // through the write or read event in both cases, except on outright
    // failure.
    int Write(const BYTE* data, int count);
    int Read(BYTE* buffer, int count);

    void SetPortNumber(BYTE portNumber);

    HANDLE GetHandle() { return m_hPort; }
    HANDLE GetReadEvent() { return m_ReadOverlapped.hEvent; }
    OVERLAPPED* GetReadOverlapped() { return &m_ReadOverlapped; }
    HANDLE GetWriteEvent() { return m_WriteOverlapped.hEvent; }

    BYTE m_BaudCode;    // code of the line speed; 115 is 115200 baud
    BYTE m_Parity;      // Win32 parity value of the line settings
    BYTE m_PortNumber;  // n of COMn
    char m_PortName[21];
    HANDLE m_hPort;
    DCB m_Dcb;
    COMMTIMEOUTS m_Timeouts;
    int m_ErrorState;              // 1 when an event could not be made or the last Open failed
    OVERLAPPED m_WriteOverlapped;  // its event is auto-reset
    OVERLAPPED m_ReadOverlapped;   // its event is manual-reset
    int m_IsOpen;

private:
    SERIALInterface(const SERIALInterface&) = delete;
    SERIALInterface& operator=(const SERIALInterface&) = delete;
};

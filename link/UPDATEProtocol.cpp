// Construction, the start and end of every session, and the connect,
// inquiry and disconnect sessions with the reception of product.xml.
#include "link/UPDATEProtocol.h"

#include <cstring>

#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "container/UpdateResult.h"
#include "link/FrameLayer.h"
#include "platform/app/CWinApp.h"
#include "platform/files/FileApi.h"
#include "platform/threads/Threads.h"
#include "platform/window/WinUser.h"

DWORD UPDATEProtocol::m_FileIndex = 0;
DWORD UPDATEProtocol::m_RxExpectedSequence = 0;
DWORD UPDATEProtocol::m_RxFileSize = 0;
DWORD UPDATEProtocol::m_RxFileCrc = 0;

namespace {

const DWORD CONNECT_TIMEOUT = 20000;
const DWORD INQUIRY_TIMEOUT = 10000;
const DWORD DISCONNECT_TIMEOUT = 3000;

// A connect ended by a cancel or by the car kit's refusal pauses this long
// after closing the port before it posts its result, so the line has settled
// before the window may open it again.
const DWORD CONNECT_END_PAUSE = 200;

// The disconnect session posts its result first, so that the window moves
// on at once, and keeps the port open this long before closing it: closing
// drops DTR and purges what the port has yet to send, and the PC's last
// frame (the disconnect, or a NAK to an unexpected answer) is given the
// time to leave the line first.
const DWORD DISCONNECT_END_PAUSE = 100;

// A session that starts while the one before is still doing its ending
// work waits this long for it (the disconnect's ending takes about
// DISCONNECT_END_PAUSE).
const DWORD SESSION_END_WAIT = 5000;

// A cancel of the connect session closes the port and pauses; true, with
// *result set, when one was asked for.
bool ConnectCancelled(int* result)
{
    if (!UPDATEManager::TakeCancel())
        return false;
    CloseSerialPort();
    Sleep(CONNECT_END_PAUSE);
    *result = UPDATE_RESULT_CANCELLED;
    return true;
}

// The connect session's first step: the port opened and the connect frame
// sent. False, with *result set, when either fails.
bool OpenAndSendConnect(int portNumber, int* result)
{
    if (portNumber == -1 || !OpenSerialPort(portNumber)) {
        *result = UPDATE_RESULT_PORT_ERROR;
        return false;
    }
    if (!SendConnect()) {
        CloseSerialPort();
        *result = UPDATEProtocol::RESULT_LINK_LOST;
        return false;
    }
    return true;
}

// The connect session's handling of one received frame; true, with *result
// set, when the frame ends the session. The session answers no frame but
// the connect, the disconnect and a NAK with a known reason.
bool ConnectFrameEnds(UPDATEProtocol* protocol, UINT frame, int* result)
{
    switch (frame) {
    case PtConnect:
        protocol->m_SpecialUpdate = m_ReadFrame.size > 0 ? 1 : 0;
        *result = UPDATE_RESULT_SUCCESS;
        return true;
    case PtDisconnect:
        CloseSerialPort();
        *result = UPDATE_RESULT_DEVICE_DISCONNECTED;
        return true;
    case PtNak:
        if (ReceivedNakReason() > NAK_REASON_MAX)
            return false;
        CloseSerialPort();
        *result = UPDATE_RESULT_DEVICE_NAK;
        Sleep(CONNECT_END_PAUSE);
        return true;
    default:
        return false;
    }
}

// One wait of the connect session for the car kit's answer; true, with
// *result set, when its outcome ends the session.
bool AwaitConnectAnswer(UPDATEProtocol* protocol, int* result)
{
    switch (WaitForEventOr(CONNECT_TIMEOUT, UPDATEManager::CancelEvent())) {
    case EVENT_WOKEN:
        return false;  // the next cancel test ends the session
    case EVENT_READ_IND:
        return ConnectFrameEnds(protocol, ReadFrame(), result);
    case EVENT_TIMEOUT:
        CloseSerialPort();
        *result = UPDATE_RESULT_TIMEOUT;
        return true;
    case EVENT_TRANSMIT_DONE:
        return false;
    default:
        CloseSerialPort();
        *result = UPDATEProtocol::RESULT_LINK_LOST;
        return true;
    }
}

// The next frame of the inquiry or the disconnect session; a finished
// transmission or an incomplete frame waits again. PtNone, with *result set,
// when the wait ends the session: a time-out, a lost link or the kit's
// disconnect.
UINT NextFrame(DWORD timeout, HANDLE closing, int* result)
{
    for (;;) {
        UINT event = WaitForEventOr(timeout, closing);
        if (event == EVENT_WOKEN) {
            *result = UPDATE_RESULT_CANCELLED;
            return PtNone;
        }
        if (event == EVENT_TRANSMIT_DONE)
            continue;
        if (event == EVENT_TIMEOUT) {
            *result = UPDATE_RESULT_TIMEOUT;
            return PtNone;
        }
        if (event != EVENT_READ_IND) {
            *result = UPDATEProtocol::RESULT_LINK_LOST;
            return PtNone;
        }
        UINT frame = ReadFrame();
        if (frame == PtNone)
            continue;
        if (frame == PtDisconnect) {
            *result = UPDATE_RESULT_DEVICE_DISCONNECTED;
            return PtNone;
        }
        return frame;
    }
}

// Payload bytes offset to offset + 3 of the last frame, little-endian; bytes
// that the frame does not carry count as 0.
DWORD PayloadU32(int offset)
{
    DWORD value = 0;
    for (int i = 3; i >= 0; --i) {
        value <<= 8;
        if (offset + i < m_ReadFrame.size)
            value |= m_ReadFrame.payload[offset + i];
    }
    return value;
}

}  // namespace

UPDATEProtocol::UPDATEProtocol()
    : m_SpecialUpdate(0),
      m_SumOfSizes(0),
      m_EndedIndex(0),
      m_SendFileSize(0),
      m_RequestedSequence(0),
      m_NextSequence(0),
      m_SendFileOpen(0),
      m_ReceiveFileOpen(0),
      m_ReceiveFileFailed(0),
      m_ReceiveFileCreated(FALSE),
      m_hSessionIdle(nullptr),
      m_hClosing(nullptr)
{
    m_RxFileCrc = 0;
    m_RxFileSize = 0;
    AllocateFrameBuffers();
    m_pSerialPort = nullptr;
    m_hSessionIdle = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    m_hClosing = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

void UPDATEProtocol::Close()
{
    Cancel();
    if (m_hClosing != nullptr)
        SetEvent(m_hClosing);
}

UPDATEProtocol::~UPDATEProtocol()
{
    m_SendFileOpen = 0;
    // A port left open would go on reading into the receive block after it
    // is freed: closing it first ends every outstanding read and write.
    CloseSerialPort();
    FreeFrameBuffers();
    if (m_hSessionIdle != nullptr)
        CloseHandle(m_hSessionIdle);
    if (m_hClosing != nullptr)
        CloseHandle(m_hClosing);
}

BOOL UPDATEProtocol::WaitForSession(DWORD milliseconds)
{
    if (m_hSessionIdle == nullptr)
        return FALSE;
    return WaitForSingleObject(m_hSessionIdle, milliseconds) == WAIT_OBJECT_0;
}

int UPDATEProtocol::BeginSession(UINT (*procedure)(LPVOID))
{
    WaitForSession(SESSION_END_WAIT);
    // Created suspended, so that the thread is stored before it can end.
    CWinThread* thread = AfxBeginThread(procedure, this, THREAD_PRIORITY_BELOW_NORMAL, 0, CREATE_SUSPENDED, nullptr);
    if (thread == nullptr) {
        m_pThread = nullptr;
        return SESSION_NOT_STARTED;
    }
    if (m_hSessionIdle != nullptr)
        ResetEvent(m_hSessionIdle);
    m_pThread = thread;
    // The system's thread is only made here: when there is none, no session
    // runs and none would ever post a result or end.
    if (thread->ResumeThread() == static_cast<DWORD>(-1)) {
        m_pThread = nullptr;
        delete thread;
        if (m_hSessionIdle != nullptr)
            SetEvent(m_hSessionIdle);
        return SESSION_NOT_STARTED;
    }
    return SESSION_STARTED;
}

void UPDATEProtocol::PostSessionResult(int result)
{
    if (m_pNotifyWnd != nullptr)
        NotifyResult(result);
}

void UPDATEProtocol::FinishSession()
{
    CWinThread* thread = m_pThread;
    m_pThread = nullptr;
    if (m_hSessionIdle != nullptr)
        SetEvent(m_hSessionIdle);
    if (thread != nullptr) {
        thread->m_bAutoDelete = TRUE;
        AfxEndThread(0, TRUE);
    }
}

void UPDATEProtocol::EndSession(int result)
{
    PostSessionResult(result);
    FinishSession();
}

int UPDATEProtocol::StartConnect()
{
    return BeginSession(ConnectThread);
}

int UPDATEProtocol::StartInquiry()
{
    return BeginSession(InquiryThread);
}

int UPDATEProtocol::StartDisconnect()
{
    return BeginSession(DisconnectThread);
}

int UPDATEProtocol::SendDisconnect()
{
    return SendFrame(PtDisconnect, nullptr, 0);
}

int UPDATEProtocol::SendFileRequest(const char* fileName)
{
    return SendFrame(PtFileRequest, fileName, static_cast<int>(strlen(fileName)) + 1);
}

int UPDATEProtocol::SendNak(BYTE reason)
{
    const BYTE payload[5] = {0, 0, 0, 0, reason};
    return SendFrame(PtHostNak, payload, sizeof(payload));
}

DWORD UPDATEProtocol::GetReceivedSequence()
{
    return PayloadU32(0);
}

DWORD UPDATEProtocol::GetReceivedCrc()
{
    m_RxFileCrc = (m_ReadFrame.type == PtFileInfo) ? PayloadU32(4) : 0;
    return m_RxFileCrc;
}

DWORD UPDATEProtocol::OpenReceivedFile()
{
    m_RxFileSize = (m_ReadFrame.type == PtFileInfo) ? PayloadU32(0) : 0;
    m_RxExpectedSequence = 0;
    CloseReceivedFile();
    m_ReceiveFileFailed = 0;
    m_ReceiveFileCreated = FALSE;
    CString path = g_WorkFolder + "\\product.xml";
    // An earlier inquiry's copy goes first: should the new one not be
    // created, no other car kit's description is left for the window to read
    // in its place, and one that this user may not overwrite (left by a run
    // under another user) is replaced rather than read.
    DeleteFileA(path);
    if (m_ReceiveFile.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive)) {
        m_ReceiveFileOpen = 1;
        m_ReceiveFileCreated = TRUE;
    } else {
        AfxMessageBox("Open file error (product.xml)", MB_OK);
    }
    return m_RxFileSize;
}

int UPDATEProtocol::WriteReceivedData()
{
    // A data frame too short for its sequence number carries nothing.
    if (m_ReadFrame.size < 4)
        return RECEIVED_DATA_SKIPPED;
    if (GetReceivedSequence() != m_RxExpectedSequence || !m_ReceiveFileOpen)
        return RECEIVED_DATA_SKIPPED;
    try {
        m_ReceiveFile.Write(m_ReadFrame.payload + 4, m_ReadFrame.size - 4u);
    } catch (CFileException* e) {
        e->Delete();
        m_ReceiveFile.Abort();
        m_ReceiveFileOpen = 0;
        m_ReceiveFileFailed = 1;
        return RECEIVED_DATA_NOT_WRITTEN;
    }
    ++m_RxExpectedSequence;
    return RECEIVED_DATA_WRITTEN;
}

int UPDATEProtocol::CloseReceivedFile()
{
    if (!m_ReceiveFileOpen)
        return 0;
    m_ReceiveFileOpen = 0;
    try {
        m_ReceiveFile.Flush();
        m_ReceiveFile.Close();
    } catch (CFileException* e) {
        e->Delete();
        m_ReceiveFile.Abort();
        m_ReceiveFileFailed = 1;
        return 0;
    }
    return 1;
}

UINT ConnectThread(LPVOID param)
{
    UPDATEProtocol* protocol = static_cast<UPDATEProtocol*>(param);
    int result = UPDATE_RESULT_SUCCESS;
    int portNumber = QueryPortNumber();
    if (!ConnectCancelled(&result)) {
        bool ended = !OpenAndSendConnect(portNumber, &result);
        // The cancel is tested after every step, also after the result is
        // fixed: a cancel that arrives with the answer still wins and closes
        // the port.
        while (!ConnectCancelled(&result) && !ended)
            ended = AwaitConnectAnswer(protocol, &result);
    }
    protocol->EndSession(result);
    return 0;
}

UINT InquiryThread(LPVOID param)
{
    UPDATEProtocol* protocol = static_cast<UPDATEProtocol*>(param);
    enum { INQUIRY_FILE_INFO, INQUIRY_DATA, INQUIRY_DONE } state = INQUIRY_FILE_INFO;
    int result = UPDATE_RESULT_SUCCESS;
    protocol->m_ReceiveFileFailed = 0;
    protocol->m_ReceiveFileCreated = FALSE;
    protocol->SetStepTotal(4);
    protocol->NotifyStepProgress(0);
    if (UPDATEManager::TakeCancel()) {
        result = UPDATE_RESULT_CANCELLED;
        state = INQUIRY_DONE;
    } else if (!protocol->SendFileRequest("product.xml")) {
        result = UPDATEProtocol::RESULT_LINK_LOST;
        state = INQUIRY_DONE;
    } else {
        protocol->NotifyStepProgress(1);
    }
    while (state != INQUIRY_DONE) {
        UINT frame = NextFrame(INQUIRY_TIMEOUT, protocol->ClosingEvent(), &result);
        if (frame == PtNone)
            break;
        if (frame == PtNak) {
            if (ReceivedNakReason() > NAK_REASON_MAX)
                continue;
            result = UPDATE_RESULT_DEVICE_NAK;
            break;
        }
        if (state == INQUIRY_FILE_INFO && frame == PtFileInfo) {
            protocol->OpenReceivedFile();
            protocol->GetReceivedCrc();
            protocol->NotifyStepProgress(2);
            state = INQUIRY_DATA;
            continue;
        }
        if (state == INQUIRY_DATA && frame == PtFileData) {
            if (protocol->WriteReceivedData() == UPDATEProtocol::RECEIVED_DATA_NOT_WRITTEN)
                break;  // the disk refused product.xml
            continue;
        }
        if (state == INQUIRY_DATA && frame == PtFileEnd) {
            result = UPDATE_RESULT_SUCCESS;
            protocol->NotifyStepProgress(3);
            break;
        }
        result = protocol->SendNak(NAK_REASON_UNEXPECTED_COMMAND) ? UPDATE_RESULT_UNEXPECTED_COMMAND
                                                                  : UPDATEProtocol::RESULT_LINK_LOST;
        break;
    }
    protocol->CloseReceivedFile();
    if (protocol->m_ReceiveFileFailed) {
        // product.xml could not be written whole: no success. The window
        // shows its no-connection text for every failed read-out; the
        // write-error code has no branch on that page.
        result = UPDATE_RESULT_TIMEOUT;
    }
    protocol->NotifyStepProgress(4);
    protocol->EndSession(result);
    return 0;
}

UINT DisconnectThread(LPVOID param)
{
    UPDATEProtocol* protocol = static_cast<UPDATEProtocol*>(param);
    int result = UPDATEProtocol::RESULT_LINK_LOST;
    // Without an open port nothing is written and nothing is waited for.
    if (m_pSerialPort != nullptr && protocol->SendDisconnect()) {
        for (;;) {
            UINT frame = NextFrame(DISCONNECT_TIMEOUT, protocol->ClosingEvent(), &result);
            if (frame == PtNone)
                break;
            if (frame == PtNak) {
                int reason = ReceivedNakReason();
                if (reason > NAK_REASON_MAX || reason == NAK_REASON_RESEND)
                    continue;
                result = UPDATE_RESULT_DEVICE_NAK;
                break;
            }
            result = protocol->SendNak(NAK_REASON_UNEXPECTED_COMMAND) ? UPDATE_RESULT_UNEXPECTED_COMMAND
                                                                      : UPDATEProtocol::RESULT_LINK_LOST;
            break;
        }
    }
    protocol->PostSessionResult(result);
    Sleep(DISCONNECT_END_PAUSE);
    CloseSerialPort();
    g_UpdateModel.Reset();
    protocol->FinishSession();
    return 0;
}

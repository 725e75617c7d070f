// The update session: sends the files of the list to the car kit, each as a
// header frame, data frames of up to 1024 bytes and an end frame with the
// file's size and CRC-32, the container's XML description last.
#include <cstdlib>
#include <mutex>
#include <string>

#include "container/UPDATEModel.h"
#include "link/FileCrc32.h"
#include "link/FrameLayer.h"
#include "link/UPDATEProtocol.h"
#include "platform/files/CFile.h"

namespace {

enum {
    UPDATE_STATE_PREPARE,
    UPDATE_STATE_NEXT_FILE,
    UPDATE_STATE_SENDING,
    UPDATE_STATE_PENDING_EOF,
    UPDATE_STATE_WAIT_FILE_OK,
    UPDATE_STATE_END
};

const DWORD SENDING_WAIT = 30000;
const DWORD PENDING_EOF_WAIT = 30000;
const DWORD FILE_OK_WAIT = 10000;
const DWORD DATA_BLOCK = 1024;

// The announced name is read by the UI thread while the session writes it.
std::mutex s_CurrentNameLock;

void SetCurrentName(UPDATEProtocol& protocol, const CString& name)
{
    std::lock_guard<std::mutex> lock(s_CurrentNameLock);
    protocol.m_CurrentFileName = name;
}

void PutU32(BYTE* out, DWORD value)
{
    out[0] = static_cast<BYTE>(value);
    out[1] = static_cast<BYTE>(value >> 8);
    out[2] = static_cast<BYTE>(value >> 16);
    out[3] = static_cast<BYTE>(value >> 24);
}

// Opens the file for reading, unshared, and takes its length. False when it
// cannot be opened or measured; the file is closed again then.
bool OpenForReading(CFile& file, const CString& path, ULONGLONG& length)
{
    if (!file.Open(path, CFile::modeRead | CFile::shareExclusive))
        return false;
    try {
        length = file.GetLength();
        return true;
    } catch (CException* e) {
        e->Delete();
        file.Abort();
        return false;
    }
}

// A software version as a decimal integer: leading white space, a sign and
// the digits up to the first other character; no digits read as 0.
long SoftwareVersion(const CString& text)
{
    return strtol(text.GetString(), nullptr, 10);
}

// The reason of the PtNak that ReadFrame returned last, kept as the last
// reason for the window. A PtNak too short for its reason byte carries
// none: it is ignored, and the last reason stays as it was.
int TakeNakReason()
{
    const int reason = ReceivedNakReason();
    if (reason != NAK_REASON_MISSING)
        UPDATEManager::m_LastNakReason = static_cast<BYTE>(reason);
    return reason;
}

}  // namespace

int UPDATEProtocol::StartUpdate()
{
    // No other copy of the program may unpack into the folder while its
    // files go out.
    if (!m_RepositoryFolder.IsEmpty() && !m_RepositoryLock.Take(m_RepositoryFolder))
        return SESSION_NOT_STARTED;
    return BeginSession(UpdateThread);
}

void UPDATEProtocol::SetLastFileName(CString name)
{
    m_LastFileName = name;
}

CString UPDATEProtocol::GetCurrentFileName()
{
    std::lock_guard<std::mutex> lock(s_CurrentNameLock);
    return m_CurrentFileName;
}

ULONGLONG UPDATEProtocol::PrepareFileList()
{
    g_UpdateModel.m_FileList.push_back(m_LastFileName);
    m_FileIndex = 0;
    m_EndedIndex = 0;
    return SumFileSizes();
}

// The sum restarts from 0 at an unreadable file: that file ends the session
// with a read error when its turn comes, and the sum counts what follows it.
ULONGLONG UPDATEProtocol::SumFileSizes()
{
    m_SumOfSizes = 0;
    if (m_RepositoryFolder.IsEmpty())
        return m_SumOfSizes;
    for (const CString& entry : g_UpdateModel.m_FileList) {
        CString path;
        path.Format("%s\\%s", m_RepositoryFolder.GetString(), entry.GetString());
        CFile file;
        ULONGLONG length = 0;
        if (UPDATEContainer::IsNameInsideFolder(entry) && OpenForReading(file, path, length)) {
            m_SumOfSizes += length;
            file.Abort();
        } else {
            m_SumOfSizes = 0;
        }
    }
    return m_SumOfSizes;
}

int UPDATEProtocol::WriteFile()
{
    if (m_FileIndex >= g_UpdateModel.m_FileList.size())
        return UPDATEProtocol::FILE_LIST_DONE;
    const CString entry = g_UpdateModel.m_FileList[m_FileIndex];
    SetCurrentName(*this, entry);
    NotifyNewFile();
    m_CurrentFilePath.Format("%s\\%s", m_RepositoryFolder.GetString(), entry.GetString());
    // The list comes from the container's description: the same name rule
    // as the container check, so nothing outside the Repository is read.
    if (!UPDATEContainer::IsNameInsideFolder(entry))
        return UPDATEProtocol::FILE_READ_ERROR;
    ULONGLONG length = 0;
    if (!OpenForReading(m_SendFile, m_CurrentFilePath, length))
        return UPDATEProtocol::FILE_READ_ERROR;
    m_SendFileOpen = 1;
    m_SendFileSize = length;
    SetStepTotal(length);
    m_RequestedSequence = m_NextSequence = 0;

    // The car kit knows its own description under its model's name.
    CString announced = entry;
    if (announced == "update.xml") {
        announced = "RX7150.xml";
        SetCurrentName(*this, announced);
    }
    BYTE size[4];
    PutU32(size, static_cast<DWORD>(length));
    if (!SendFrame(PtFileHeader, size, 4, announced.GetString(), announced.GetLength() + 1))
        return UPDATEProtocol::FILE_NOT_SENT;
    return UPDATEProtocol::FILE_STARTED;
}

int UPDATEProtocol::SendNextData()
{
    BYTE block[4 + DATA_BLOCK];
    UINT count = 0;
    ULONGLONG position = 0;
    try {
        if (m_NextSequence != m_RequestedSequence) {
            m_NextSequence = m_RequestedSequence;
            m_SendFile.Seek(static_cast<DWORD>(m_RequestedSequence * DATA_BLOCK), CFile::begin);
        }
        count = m_SendFile.Read(block + 4, DATA_BLOCK);
        position = m_SendFile.GetPosition();
    } catch (CException* e) {
        e->Delete();
        return UPDATEProtocol::DATA_READ_ERROR;
    }
    PutU32(block, m_NextSequence);
    if (!SendFrame(PtFileData, block, static_cast<int>(4 + count)))
        return UPDATEProtocol::DATA_NOT_SENT;
    m_NextSequence++;
    m_RequestedSequence++;

    NotifyStepProgress(position);
    NotifyTotalProgress(position + m_DoneBytes);
    if (count == DATA_BLOCK)
        return UPDATEProtocol::DATA_MORE;
    m_DoneBytes += m_SendFileSize;
    NotifyStepProgress(m_SendFileSize);
    NotifyTotalProgress(m_DoneBytes);
    return UPDATEProtocol::DATA_LAST;
}

int UPDATEProtocol::FileEnd()
{
    m_EndedIndex = m_FileIndex;
    m_FileIndex++;
    m_SendFile.Abort();
    m_SendFileOpen = 0;
    const ULONGLONG length = m_SendFileSize;
    m_SendFileSize = 0;

    FileCrc32 crc32;
    const DWORD crc = crc32.Compute(m_CurrentFilePath);

    BYTE payload[8];
    PutU32(payload, static_cast<DWORD>(length));
    PutU32(payload + 4, crc);
    return SendFrame(PtFileEnd, payload, 8);
}

void UPDATEProtocol::RequeueFile()
{
    std::vector<CString>& list = g_UpdateModel.m_FileList;
    if (m_EndedIndex >= list.size())
        return;
    const CString entry = list[m_EndedIndex];
    if (!list.empty())
        list.pop_back();
    list.push_back(entry);
    list.push_back(m_LastFileName);
}

bool IsFileOkExpected()
{
    bool expected = false;
    for (const UPDATEDevice& device : g_UpdateModel.m_Product.devices) {
        if (device.name == "RX7150") {
            expected = SoftwareVersion(device.software) > 137;
            break;
        }
        if (device.name == "RX5230") {
            expected = SoftwareVersion(device.software) > 111;
            break;
        }
        expected = true;
    }
    if (UPDATEProtocol::m_FileIndex + 1 == g_UpdateModel.m_FileList.size())
        expected = true;
    return expected;
}

namespace {

// The wait of a state that waits on the car kit: its event, with the frame
// that came when it is EVENT_READ_IND. An incomplete frame reads as
// EVENT_WOKEN, as a cancel's wake does: the state does nothing with either
// and waits again unless the next turn's cancel test ends the session.
UINT WaitInState(DWORD timeout, UINT& frame)
{
    frame = PtNone;
    const UINT event = WaitForEventOr(timeout, UPDATEManager::CancelEvent());
    if (event != EVENT_READ_IND)
        return event;
    frame = ReadFrame();
    if (frame == PtNone)
        return EVENT_WOKEN;
    return event;
}

// One update session: the object it runs on, its state, the result so far
// and the rejection mark, which is set when the car kit rejects the transfer
// while data is being sent and cleared when a file is opened or requeued.
struct UpdateSession {
    UPDATEProtocol* protocol;
    int state;
    int result;
    bool rejected;
};

void EndWith(UpdateSession& session, int code)
{
    session.result = code;
    session.state = UPDATE_STATE_END;
}

bool IsFileOk(UINT event, UINT frame)
{
    return event == EVENT_READ_IND && (frame == PtFileOK || frame == PtFileOK2);
}

// What every waiting state does with the events and frames that it does not
// handle itself: the car kit's disconnect, a frame that the state does not
// expect (answered with a PtHostNak), a time-out and a lost link end the
// session; a wake or an incomplete frame ends nothing.
void EndOnShared(UpdateSession& session, UINT event, UINT frame)
{
    switch (event) {
    case EVENT_WOKEN:
        return;
    case EVENT_READ_IND:
        if (frame == PtDisconnect)
            EndWith(session, UPDATE_RESULT_DEVICE_DISCONNECTED);
        else if (session.protocol->SendNak(NAK_REASON_UNEXPECTED_COMMAND))
            EndWith(session, UPDATE_RESULT_UNEXPECTED_COMMAND);
        else
            EndWith(session, UPDATEProtocol::RESULT_LINK_LOST);
        return;
    case EVENT_TIMEOUT:
        EndWith(session, UPDATE_RESULT_TIMEOUT);
        return;
    default:
        EndWith(session, UPDATEProtocol::RESULT_LINK_LOST);
        return;
    }
}

// ---- The car kit's PtNak in the three waiting states, side by side ----
//
// Every state keeps the reason for the window first (TakeNakReason); then:
//
//   the PtNak asks   while sending            end frame pending   waiting for PtFileOK
//   nothing (> 9)    wait again               wait again          wait again
//   resend (2)       go on from its sequence  wait again          wait again
//   requeue (0)      requeue, go on sending   end with NAK        requeue, next file
//   reject (other)   end the file, then NAK   end with NAK        end with NAK
//
// Once the end frame is issued there is nothing left to repeat. A requeue
// before that frame has gone out rejects the transfer; after it, the file
// ended last is sent again later.
enum class NakAsks { NOTHING, RESEND, REQUEUE, REJECT };

NakAsks WhatNakAsks(int reason)
{
    if (reason > NAK_REASON_MAX)
        return NakAsks::NOTHING;
    if (reason == NAK_REASON_RESEND)
        return NakAsks::RESEND;
    if (reason == NAK_REASON_REQUEUE)
        return NakAsks::REQUEUE;
    return NakAsks::REJECT;
}

void RequeueEndedFile(UpdateSession& session)
{
    session.protocol->RequeueFile();
    session.rejected = false;
}

void NakWhileSending(UpdateSession& session, NakAsks asks)
{
    switch (asks) {
    case NakAsks::NOTHING:
        break;
    case NakAsks::RESEND:
        session.protocol->m_RequestedSequence = session.protocol->GetReceivedSequence();
        break;
    case NakAsks::REQUEUE:
        RequeueEndedFile(session);
        break;
    case NakAsks::REJECT:
        // The current file still gets its end frame; the session ends once
        // that has gone out, unless a PtFileOK comes first.
        if (session.protocol->FileEnd()) {
            session.result = UPDATE_RESULT_DEVICE_NAK;
            session.rejected = true;
            session.state = UPDATE_STATE_PENDING_EOF;
        } else {
            EndWith(session, UPDATEProtocol::RESULT_LINK_LOST);
        }
        break;
    }
}

void NakWhileEndPending(UpdateSession& session, NakAsks asks)
{
    if (asks == NakAsks::REQUEUE || asks == NakAsks::REJECT)
        EndWith(session, UPDATE_RESULT_DEVICE_NAK);
}

void NakWhileWaitingForFileOk(UpdateSession& session, NakAsks asks)
{
    if (asks == NakAsks::REQUEUE) {
        RequeueEndedFile(session);
        session.state = UPDATE_STATE_NEXT_FILE;
        return;
    }
    NakWhileEndPending(session, asks);
}

// ---- One handler a state ----

void OnPrepare(UpdateSession& session)
{
    if (g_UpdateModel.m_FileList.empty()) {
        EndWith(session, UPDATE_RESULT_NO_DATA);
        return;
    }
    session.protocol->SetTotalSize(session.protocol->PrepareFileList());
    session.state = UPDATE_STATE_NEXT_FILE;
}

void OnNextFile(UpdateSession& session)
{
    switch (session.protocol->WriteFile()) {
    case UPDATEProtocol::FILE_STARTED:
        session.rejected = false;
        session.state = UPDATE_STATE_SENDING;
        break;
    case UPDATEProtocol::FILE_READ_ERROR:
        EndWith(session, UPDATE_RESULT_READ_ERROR);
        break;
    case UPDATEProtocol::FILE_NOT_SENT:
        EndWith(session, UPDATEProtocol::RESULT_LINK_LOST);
        break;
    default:
        EndWith(session, UPDATE_RESULT_SUCCESS);
        break;
    }
}

// The next data frame on each transmit completion; the end frame follows
// the file's last data frame at once.
void SendData(UpdateSession& session)
{
    switch (session.protocol->SendNextData()) {
    case UPDATEProtocol::DATA_READ_ERROR:
        EndWith(session, UPDATE_RESULT_READ_ERROR);
        break;
    case UPDATEProtocol::DATA_NOT_SENT:
        EndWith(session, UPDATEProtocol::RESULT_LINK_LOST);
        break;
    case UPDATEProtocol::DATA_LAST:
        if (session.protocol->FileEnd())
            session.state = UPDATE_STATE_PENDING_EOF;
        else
            EndWith(session, UPDATEProtocol::RESULT_LINK_LOST);
        break;
    default:
        break;
    }
}

void OnSending(UpdateSession& session)
{
    UINT frame = PtNone;
    const UINT event = WaitInState(SENDING_WAIT, frame);
    if (event == EVENT_TRANSMIT_DONE)
        SendData(session);
    else if (event == EVENT_READ_IND && frame == PtNak)
        NakWhileSending(session, WhatNakAsks(TakeNakReason()));
    else
        EndOnShared(session, event, frame);
}

void OnPendingEof(UpdateSession& session)
{
    UINT frame = PtNone;
    const UINT event = WaitInState(PENDING_EOF_WAIT, frame);
    if (event == EVENT_TRANSMIT_DONE) {
        if (session.rejected)
            EndWith(session, UPDATE_RESULT_DEVICE_NAK);
        else
            session.state = IsFileOkExpected() ? UPDATE_STATE_WAIT_FILE_OK : UPDATE_STATE_NEXT_FILE;
    } else if (IsFileOk(event, frame)) {
        // The confirmation can come before the end frame's completion.
        session.state = UPDATE_STATE_NEXT_FILE;
    } else if (event == EVENT_READ_IND && frame == PtNak) {
        NakWhileEndPending(session, WhatNakAsks(TakeNakReason()));
    } else {
        EndOnShared(session, event, frame);
    }
}

void OnWaitFileOk(UpdateSession& session)
{
    UINT frame = PtNone;
    const UINT event = WaitInState(FILE_OK_WAIT, frame);
    if (event == EVENT_TRANSMIT_DONE) {
        // The end frame went out before; nothing is waited for here.
    } else if (event == EVENT_TIMEOUT) {
        // No confirmation is no error: the next file goes on.
        session.result = UPDATE_RESULT_SUCCESS;
        session.state = UPDATE_STATE_NEXT_FILE;
    } else if (IsFileOk(event, frame)) {
        session.state = UPDATE_STATE_NEXT_FILE;
    } else if (event == EVENT_READ_IND && frame == PtNak) {
        NakWhileWaitingForFileOk(session, WhatNakAsks(TakeNakReason()));
    } else {
        EndOnShared(session, event, frame);
    }
}

// The handlers in the order of the states; UPDATE_STATE_END has none.
void (*const STATE_HANDLERS[])(UpdateSession&) = {
    OnPrepare, OnNextFile, OnSending, OnPendingEof, OnWaitFileOk,
};

static_assert(sizeof(STATE_HANDLERS) / sizeof(STATE_HANDLERS[0]) == UPDATE_STATE_END,
              "every state before UPDATE_STATE_END needs its handler, in state order");

}  // namespace

UINT UpdateThread(LPVOID param)
{
    UpdateSession session{static_cast<UPDATEProtocol*>(param), UPDATE_STATE_PREPARE, UPDATE_RESULT_SUCCESS, false};
    // The cancel test opens every turn, the last one too, so a cancel
    // replaces a result fixed in the turn before.
    for (;;) {
        if (UPDATEManager::TakeCancel())
            EndWith(session, UPDATE_RESULT_CANCELLED);
        if (session.state == UPDATE_STATE_END)
            break;
        STATE_HANDLERS[session.state](session);
    }

    UPDATEProtocol* protocol = session.protocol;
    if (protocol->m_SendFileOpen == 1) {
        protocol->m_SendFile.Abort();
        protocol->m_SendFileOpen = 0;
    }
    protocol->ClearFileList();
    protocol->EndSession(session.result);
    return 0;
}

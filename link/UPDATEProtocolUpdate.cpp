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

} // namespace

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
    m_SumOfSizes = 0;
    m_SumOfSizes = SumFileSizes();
    return m_SumOfSizes;
}

ULONGLONG UPDATEProtocol::SumFileSizes()
{
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

// What every waiting state does with the events and frames that it does not
// handle itself: the car kit's disconnect, a frame that the state does not
// expect (answered with a PtHostNak), a time-out and a lost link end the
// session; a wake or an incomplete frame ends nothing. True with result set
// when the session ends.
bool EndsSession(UPDATEProtocol& protocol, UINT event, UINT frame, int& result)
{
    switch (event) {
    case EVENT_WOKEN:
        return false;
    case EVENT_READ_IND:
        if (frame == PtDisconnect)
            result = UPDATE_RESULT_DEVICE_DISCONNECTED;
        else if (protocol.SendNak(NAK_REASON_UNEXPECTED_COMMAND))
            result = UPDATE_RESULT_UNEXPECTED_COMMAND;
        else
            result = UPDATEProtocol::RESULT_LINK_LOST;
        return true;
    case EVENT_TIMEOUT:
        result = UPDATE_RESULT_TIMEOUT;
        return true;
    default:
        result = UPDATEProtocol::RESULT_LINK_LOST;
        return true;
    }
}

} // namespace

UINT UpdateThread(LPVOID param)
{
    UPDATEProtocol* protocol = static_cast<UPDATEProtocol*>(param);
    int state = UPDATE_STATE_PREPARE;
    int result = UPDATE_RESULT_SUCCESS;
    bool rejected = false;

    auto end = [&](int code) {
        result = code;
        state = UPDATE_STATE_END;
    };
    // The rest of a waiting state: what it did not handle itself.
    auto endOnShared = [&](UINT event, UINT frame) {
        int code = UPDATE_RESULT_SUCCESS;
        if (EndsSession(*protocol, event, frame, code))
            end(code);
    };

    for (;;) {
        if (UPDATEManager::TakeCancel())
            end(UPDATE_RESULT_CANCELLED);
        if (state == UPDATE_STATE_END)
            break;

        UINT frame = PtNone;
        switch (state) {
        case UPDATE_STATE_PREPARE:
            if (g_UpdateModel.m_FileList.empty()) {
                end(UPDATE_RESULT_NO_DATA);
            } else {
                protocol->SetTotalSize(protocol->PrepareFileList());
                state = UPDATE_STATE_NEXT_FILE;
            }
            break;

        case UPDATE_STATE_NEXT_FILE:
            switch (protocol->WriteFile()) {
            case UPDATEProtocol::FILE_STARTED:
                rejected = false;
                state = UPDATE_STATE_SENDING;
                break;
            case UPDATEProtocol::FILE_READ_ERROR:
                end(UPDATE_RESULT_READ_ERROR);
                break;
            case UPDATEProtocol::FILE_NOT_SENT:
                end(UPDATEProtocol::RESULT_LINK_LOST);
                break;
            default:
                end(UPDATE_RESULT_SUCCESS);
                break;
            }
            break;

        case UPDATE_STATE_SENDING: {
            const UINT event = WaitInState(SENDING_WAIT, frame);
            if (event == EVENT_TRANSMIT_DONE) {
                int sent = protocol->SendNextData();
                if (sent == UPDATEProtocol::DATA_READ_ERROR) {
                    end(UPDATE_RESULT_READ_ERROR);
                } else if (sent == UPDATEProtocol::DATA_NOT_SENT) {
                    end(UPDATEProtocol::RESULT_LINK_LOST);
                } else if (sent == UPDATEProtocol::DATA_LAST) {
                    if (protocol->FileEnd())
                        state = UPDATE_STATE_PENDING_EOF;
                    else
                        end(UPDATEProtocol::RESULT_LINK_LOST);
                }
            } else if (event == EVENT_READ_IND && frame == PtNak) {
                const int reason = TakeNakReason();
                if (reason > NAK_REASON_MAX) {
                    // ignored
                } else if (reason == NAK_REASON_REQUEUE) {
                    protocol->RequeueFile();
                    rejected = false;
                } else if (reason == NAK_REASON_RESEND) {
                    protocol->m_RequestedSequence = protocol->GetReceivedSequence();
                } else if (protocol->FileEnd()) {
                    result = UPDATE_RESULT_DEVICE_NAK;
                    rejected = true;
                    state = UPDATE_STATE_PENDING_EOF;
                } else {
                    end(UPDATEProtocol::RESULT_LINK_LOST);
                }
            } else {
                endOnShared(event, frame);
            }
            break;
        }

        case UPDATE_STATE_PENDING_EOF: {
            const UINT event = WaitInState(PENDING_EOF_WAIT, frame);
            if (event == EVENT_TRANSMIT_DONE) {
                if (rejected)
                    end(UPDATE_RESULT_DEVICE_NAK);
                else
                    state = IsFileOkExpected() ? UPDATE_STATE_WAIT_FILE_OK : UPDATE_STATE_NEXT_FILE;
            } else if (event == EVENT_READ_IND && (frame == PtFileOK || frame == PtFileOK2)) {
                state = UPDATE_STATE_NEXT_FILE;
            } else if (event == EVENT_READ_IND && frame == PtNak) {
                const int reason = TakeNakReason();
                if (reason != NAK_REASON_RESEND && reason <= NAK_REASON_MAX)
                    end(UPDATE_RESULT_DEVICE_NAK);
            } else {
                endOnShared(event, frame);
            }
            break;
        }

        case UPDATE_STATE_WAIT_FILE_OK: {
            const UINT event = WaitInState(FILE_OK_WAIT, frame);
            if (event == EVENT_TRANSMIT_DONE) {
                // The end frame went out before; nothing is waited for here.
            } else if (event == EVENT_TIMEOUT) {
                // No confirmation is no error: the next file goes on.
                result = UPDATE_RESULT_SUCCESS;
                state = UPDATE_STATE_NEXT_FILE;
            } else if (event == EVENT_READ_IND && (frame == PtFileOK || frame == PtFileOK2)) {
                state = UPDATE_STATE_NEXT_FILE;
            } else if (event == EVENT_READ_IND && frame == PtNak) {
                const int reason = TakeNakReason();
                if (reason == NAK_REASON_REQUEUE) {
                    protocol->RequeueFile();
                    rejected = false;
                    state = UPDATE_STATE_NEXT_FILE;
                } else if (reason != NAK_REASON_RESEND && reason <= NAK_REASON_MAX) {
                    end(UPDATE_RESULT_DEVICE_NAK);
                }
            } else {
                endOnShared(event, frame);
            }
            break;
        }
        }
    }

    if (protocol->m_SendFileOpen == 1) {
        protocol->m_SendFile.Abort();
        protocol->m_SendFileOpen = 0;
    }
    protocol->ClearFileList();
    protocol->EndSession(result);
    return 0;
}

// The update engine that the wizard window drives. Every worker session
// (unpack, connect, inquiry, update, disconnect) runs on the one object of
// this class, on a worker thread of its own, and ends by posting exactly one
// result code through the notification base.
//
// The class is implemented in several files, one per session:
//   UPDATEProtocol.cpp        construction, starting and ending a session,
//                             connect, inquiry and disconnect, reception of
//                             product.xml, the PC's short frames
//   UPDATEProtocolUpdate.cpp  the update session (file transfer)
//   UPDATEProtocolUnzip.cpp   the unpack step
// The frame layer that the sessions talk through is FrameLayer.h.
//
// There is exactly one object in the process: the frame layer's blocks are
// process-wide and a second object would replace the first one's.
#pragma once

#include "container/UpdateResult.h"
#include "link/RepositoryLock.h"
#include "link/UPDATEManager.h"
#include "platform/base/WinTypes.h"
#include "platform/files/CFile.h"
#include "platform/strings/CString.h"

class UPDATEProtocol : public UPDATEManager {
public:
    // The result of every session whose link fails under it (EVENT_ERROR: a
    // failed wait or read, the car kit unplugged, or no open port). It ends
    // at once with this code instead of waiting again: the device is gone
    // from the line. The wizard handles it on every page as a lost device.
    static constexpr int RESULT_LINK_LOST = UPDATE_RESULT_DEVICE_DISCONNECTED;

    UPDATEProtocol();
    ~UPDATEProtocol() override;

    // The window is going away: the cancel flag is set and every wait of
    // the running session ends at once, the inquiry's, the disconnect's and
    // the unpacker's too, which otherwise run on through a cancel. An
    // unpack ends its unpacker and posts UPDATE_RESULT_CANCELLED. Stays in
    // force for the object's life.
    void Close();
    // Manual-reset, signalled once Close was called.
    HANDLE ClosingEvent() const { return m_hClosing; }

    // Results of the start operations and of BeginSession. A session that
    // did not start posts no result.
    static constexpr int SESSION_STARTED = UPDATE_RESULT_SUCCESS;      // its worker thread runs
    static constexpr int SESSION_NOT_STARTED = UPDATE_RESULT_TIMEOUT;  // no thread could be created

    // Start operations, called on the UI thread. Each returns at once,
    // SESSION_STARTED or SESSION_NOT_STARTED.
    int StartConnect();
    int StartInquiry();
    int StartDisconnect();
    // TRUE when the last inquiry created product.xml in the work folder. An
    // inquiry whose file could not be created still ends with the link's
    // result; an earlier copy that could not be removed then stands in the
    // folder, and it is not this car kit's description.
    BOOL ReceivedProductXml() const { return m_ReceiveFileCreated; }

    // Frames of the PC (the frame layer builds and sends them).
    int SendDisconnect();
    int SendFileRequest(const char* fileName);
    int SendNak(BYTE reason);

    // Reception of a file, on the inquiry session's thread; each works on the
    // frame that ReadFrame returned last.
    DWORD OpenReceivedFile();
    // Results of WriteReceivedData.
    static constexpr int RECEIVED_DATA_WRITTEN = 1;       // the frame's data went to the file
    static constexpr int RECEIVED_DATA_SKIPPED = 0;       // too short, out of sequence, or no open file
    static constexpr int RECEIVED_DATA_NOT_WRITTEN = -1;  // the disk refused it; the file is given up
    int WriteReceivedData();
    // Flushes and closes product.xml: 1 when it was open and closed whole,
    // else 0.
    int CloseReceivedFile();
    DWORD GetReceivedCrc();
    DWORD GetReceivedSequence();

    // ---- Update session (UPDATEProtocolUpdate.cpp) ----
    // The files go out of the Repository folder, whose lock (see
    // RepositoryLock.h) is held from here on when the unpack has not left
    // it held; SESSION_NOT_STARTED, with nothing sent, when it cannot be
    // had (another program holds it, or its file does not open).
    int StartUpdate();
    void SetLastFileName(CString name);
    CString GetCurrentFileName();
    ULONGLONG PrepareFileList();
    ULONGLONG SumFileSizes();
    // Results of WriteFile.
    static constexpr int FILE_STARTED = 0;     // the header went out
    static constexpr int FILE_READ_ERROR = 1;  // the file could not be opened
    static constexpr int FILE_LIST_DONE = 2;   // no file is left
    static constexpr int FILE_NOT_SENT = 3;    // the header could not go out
    // Results of SendNextData.
    static constexpr int DATA_MORE = 6;        // data remains
    static constexpr int DATA_LAST = 1;        // the file's last data frame went out
    static constexpr int DATA_READ_ERROR = 0;  // not read or seeked; nothing was sent
    static constexpr int DATA_NOT_SENT = -1;   // the data frame could not go out

    // Opens the next file of the list and sends its header.
    int WriteFile();
    int SendNextData();
    // Closes the file and sends its end frame: 1 when it went out, else 0.
    int FileEnd();
    void RequeueFile();

    // ---- Unpack step (UPDATEProtocolUnzip.cpp) ----
    // Checks the container and the free space, takes the output folder's
    // lock, then unpacks it on a worker. UPDATE_RESULT_SUCCESS when the
    // worker runs, UPDATE_RESULT_DISK_SPACE too little space,
    // UPDATE_RESULT_READ_ERROR the container cannot be read,
    // UPDATE_RESULT_UNZIP_START_ERROR no container, no worker, or another
    // program holds the folder (it is not touched then). An unpack that
    // succeeds keeps the lock for the update that sends from the folder; one
    // that fails gives it up.
    int StartUnzip(CString unpackerFolder, CString outputFolder, CString containerPath);
    // Gives up the Repository folder's lock, once the update's road is over
    // (the object's end gives it up too).
    void ReleaseRepository();
    // How long the unpacker may run before it is ended and the unpack
    // counts as failed (milliseconds; 30 minutes, far beyond any container).
    static DWORD m_UnpackTimeLimit;

    // Session helpers shared by every session's file.
    //
    // BeginSession starts procedure on a new worker thread at below-normal
    // priority. The thread is created suspended and runs only once it is
    // stored in m_pThread. A session whose ending work still runs (the
    // disconnect closes the port and empties the model after posting its
    // result) is waited for first, so that no two sessions overlap.
    // Returns SESSION_STARTED when the thread runs, SESSION_NOT_STARTED
    // when none could be created.
    int BeginSession(UINT (*procedure)(LPVOID));
    // Waits up to the time until no session runs on this object, its ending
    // work included. TRUE when none runs.
    BOOL WaitForSession(DWORD milliseconds);
    // Posts the result, then ends the calling session's thread (it returns
    // only when the session runs on no thread of BeginSession). The
    // disconnect session does its closing work between the two steps
    // itself, with PostSessionResult and FinishSession.
    void EndSession(int result);
    void PostSessionResult(int result);
    void FinishSession();

    int m_SpecialUpdate;              // 1 when the car kit's connect answer had a payload
    ULONGLONG m_SumOfSizes;           // sum of the sizes of the files to send
    CString m_ContainerPath;          // the update container
    CString m_OutputFolder;           // where the container is unpacked
    CString m_UnpackerFolder;         // folder of the unpacking program
    DWORD m_EndedIndex;               // file-list index of the file ended last
    CString m_CurrentFileName;        // the file being sent, as announced
    CString m_CurrentFilePath;        // the file being sent, on disk
    CFile m_SendFile;                 // the file being sent, open for reading
    ULONGLONG m_SendFileSize;         // its length
    DWORD m_RequestedSequence;        // where the car kit asked the data to continue
    DWORD m_NextSequence;             // sequence number of the next data frame
    int m_SendFileOpen;               // 1 while m_SendFile is open
    RepositoryLock m_RepositoryLock;  // held while the Repository is unpacked into or sent from
    CFile m_ReceiveFile;              // product.xml while the inquiry receives it
    int m_ReceiveFileOpen;            // 1 while m_ReceiveFile is open
    int m_ReceiveFileFailed;          // 1 once this inquiry could not write product.xml
    BOOL m_ReceiveFileCreated;        // TRUE once this inquiry created product.xml

    static DWORD m_FileIndex;           // index of the next file to send
    static DWORD m_RxExpectedSequence;  // next PtFileData the inquiry accepts
    static DWORD m_RxFileSize;          // size announced by PtFileInfo, kept only
    static DWORD m_RxFileCrc;           // CRC-32 announced by PtFileInfo, kept only

private:
    // Signalled while no session runs on this object (manual-reset).
    HANDLE m_hSessionIdle;
    HANDLE m_hClosing;

    UPDATEProtocol(const UPDATEProtocol&) = delete;
    UPDATEProtocol& operator=(const UPDATEProtocol&) = delete;
};

// Session procedures: worker-thread entry points whose parameter is the
// UPDATEProtocol object. Each returns 0.
UINT ConnectThread(LPVOID param);
UINT InquiryThread(LPVOID param);
UINT DisconnectThread(LPVOID param);
UINT UpdateThread(LPVOID param);
UINT UnzipThread(LPVOID param);

// Whether the car kit is to be given time to confirm the file just ended.
bool IsFileOkExpected();

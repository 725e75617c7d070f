// The unpack step: the update container is unpacked into the Repository
// folder by the external program 7za from the program folder.
#include "container/UPDATETools.h"
#include "link/UPDATEProtocol.h"
#include "platform/files/CFile.h"
#include "platform/files/FileApi.h"
#include "platform/process/Process.h"
#include "platform/threads/Threads.h"

DWORD UPDATEProtocol::m_UnpackTimeLimit = 30u * 60u * 1000u;

namespace {

// Empties the output folder for the unpacker. False when anything stays
// behind (an entry that cannot be deleted, a folder of another user), or
// when the folder is a link: an old file must never pass for one of the new
// container, and a link would lead the cleanup elsewhere.
bool EmptyOutputFolder(UPDATEProtocol& protocol)
{
    const DWORD attributes = GetFileAttributesA(protocol.m_OutputFolder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    protocol.DeleteFolderContents(protocol.m_OutputFolder);
    return protocol.IsFolderEmpty(protocol.m_OutputFolder) != 0;
}

}  // namespace

int UPDATEProtocol::StartUnzip(CString unpackerFolder, CString outputFolder, CString containerPath)
{
    if (containerPath.IsEmpty())
        return UPDATE_RESULT_UNZIP_START_ERROR;
    m_ContainerPath = containerPath;
    m_OutputFolder = outputFolder;
    m_UnpackerFolder = unpackerFolder;

    ULONGLONG length = 0;
    {
        CFile container;
        if (!container.Open(m_ContainerPath, CFile::modeRead))
            return UPDATE_RESULT_READ_ERROR;
        try {
            length = container.GetLength();
        } catch (CException* e) {
            e->Delete();
            container.Abort();
            return UPDATE_RESULT_READ_ERROR;
        }
        container.Abort();
    }

    if (!UPDATETools::HasEnoughDiskSpace(m_OutputFolder, 2 * length))
        return UPDATE_RESULT_DISK_SPACE;

    // Another copy of the program may unpack into the same folder, or an
    // unpacker that a killed copy left running still write there: the
    // folder is not touched then, and the unpack cannot start.
    if (!m_RepositoryLock.Take(m_OutputFolder))
        return UPDATE_RESULT_UNZIP_START_ERROR;
    if (BeginSession(UnzipThread) != SESSION_STARTED) {
        m_RepositoryLock.Release();
        return UPDATE_RESULT_UNZIP_START_ERROR;
    }
    return UPDATE_RESULT_SUCCESS;
}

void UPDATEProtocol::ReleaseRepository()
{
    m_RepositoryLock.Release();
}

UINT UnzipThread(LPVOID param)
{
    UPDATEProtocol* protocol = static_cast<UPDATEProtocol*>(param);
    if (!EmptyOutputFolder(*protocol)) {
        protocol->ReleaseRepository();
        protocol->EndSession(UPDATE_RESULT_UNZIP_ERROR);
        return 0;
    }

    CString commandLine;
    commandLine.Format("\"%s\\7za\" x -y -o\"%s\" \"%s\"", protocol->m_UnpackerFolder.GetString(),
                       protocol->m_OutputFolder.GetString(), protocol->m_ContainerPath.GetString());

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessA(nullptr, commandLine.GetBuffer(commandLine.GetLength()), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    commandLine.ReleaseBuffer();
    if (started) {
        DWORD exitCode = 1;
        bool cancelled = false;
        const HANDLE waits[2] = {process.hProcess, protocol->ClosingEvent()};
        const DWORD wait = WaitForMultipleObjects(waits[1] != nullptr ? 2 : 1, waits, FALSE,
                                                  UPDATEProtocol::m_UnpackTimeLimit);
        if (wait == WAIT_OBJECT_0) {
            if (!GetExitCodeProcess(process.hProcess, &exitCode))
                exitCode = 1;
        } else {
            // An unpacker that hangs must not hold the wizard forever, and
            // one whose window is closing must not write on after it: it is
            // ended with everything it started, and what it wrote so far is
            // removed below.
            cancelled = wait == WAIT_OBJECT_0 + 1;
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 10000);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        // A truncated or corrupt container leaves partial files behind, and
        // an ended unpacker what it had written; none of them may pass the
        // container check and reach the car kit.
        const bool emptied = exitCode == 0 || EmptyOutputFolder(*protocol);
        if (cancelled || !emptied) {
            // Nothing of this container is to be sent: the folder is free
            // again, once the unpacker, which held its lock too, is gone.
            protocol->ReleaseRepository();
            protocol->EndSession(cancelled ? UPDATE_RESULT_CANCELLED : UPDATE_RESULT_UNZIP_ERROR);
            return 0;
        }
    }
    protocol->EndSession(UPDATE_RESULT_SUCCESS);
    return 0;
}

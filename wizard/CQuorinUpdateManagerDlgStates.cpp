// The page state machine of the wizard window: the table of its pages, the
// entry into a page and one handler a page; the texts of the result codes
// and the choice of the update container.
#include "container/UPDATEModel.h"
#include "container/UpdateResult.h"
#include "platform/files/FileApi.h"
#include "platform/threads/Threads.h"
#include "platform/window/CFileDialog.h"
#include "resources/resource.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace {

// The catalogue text of each result code, one row a code, in code order.
// A port error shows the broken-container text; a failed unpack start gets
// the unspecific text here, as the machine shows the unzip text for it
// itself.
struct ResultText {
    int code;
    int text;
};

constexpr ResultText RESULT_TEXTS[] = {
    {UPDATE_RESULT_SUCCESS, TXT_ERR_SUCCESS},
    {UPDATE_RESULT_DEVICE_DISCONNECTED, TXT_ERR_DEVICE_DISCONNECTED},
    {UPDATE_RESULT_DEVICE_NAK, TXT_ERR_WRONG_ACK},
    {UPDATE_RESULT_UNEXPECTED_COMMAND, TXT_ERR_UNEXPECTED_COMMAND},
    {UPDATE_RESULT_TIMEOUT, TXT_ERR_NOT_RESPONDING},
    {UPDATE_RESULT_CANCELLED, TXT_ERR_USER_TERMINATED},
    {UPDATE_RESULT_NO_DATA, TXT_ERR_NO_UPDATE_DATA},
    {UPDATE_RESULT_UNSPECIFIC, TXT_ERR_UNSPECIFIC},
    {UPDATE_RESULT_FILE_OPEN_ERROR, TXT_ERR_FILE_OPEN},
    {UPDATE_RESULT_PORT_ERROR, TXT_ERR_CONTAINER_BROKEN},
    {UPDATE_RESULT_UNZIP_ERROR, TXT_ERR_UNZIP},
    {UPDATE_RESULT_DISK_SPACE, TXT_ERR_DISK_SPACE},
    {UPDATE_RESULT_READ_ERROR, TXT_ERR_READ_FILE},
    {UPDATE_RESULT_WRITE_ERROR, TXT_ERR_WRITE_FILE},
    {UPDATE_RESULT_INTERNET_OPEN_ERROR, TXT_ERR_INTERNET_OPEN},
    {UPDATE_RESULT_INTERNET_READ_ERROR, TXT_ERR_INTERNET_READ},
    {UPDATE_RESULT_INTERNET_LINK_ERROR, TXT_ERR_INTERNET_LINK},
    {UPDATE_RESULT_REQUEST_ERROR, TXT_ERR_REQUEST_NOT_SENT},
    {UPDATE_RESULT_REQUEST_ERROR_2, TXT_ERR_REQUEST_NOT_SENT},
    {UPDATE_RESULT_DEVICE_NOT_IN_CONTAINER, TXT_ERR_NO_UPDATE_FOR_DEVICE},
    {UPDATE_RESULT_HARDWARE_NOT_SUPPORTED, TXT_ERR_NO_UPDATE_FOR_HARDWARE},
    {UPDATE_RESULT_SAME_VERSION, TXT_ERR_SAME_VERSION},
    {UPDATE_RESULT_XML_PARSE_ERROR, TXT_ERR_XML_PARSE},
    {UPDATE_RESULT_UNZIP_START_ERROR, TXT_ERR_UNSPECIFIC},
};

constexpr int RESULT_TEXT_COUNT = static_cast<int>(sizeof(RESULT_TEXTS) / sizeof(RESULT_TEXTS[0]));

// True when row i is that of code i for every code, so a lookup by code is
// a lookup by row.
constexpr bool EveryCodeHasItsRow()
{
    if (RESULT_TEXT_COUNT != UPDATE_RESULT_CODE_COUNT)
        return false;
    for (int i = 0; i < RESULT_TEXT_COUNT; ++i)
        if (RESULT_TEXTS[i].code != i)
            return false;
    return true;
}

static_assert(EveryCodeHasItsRow(), "every result code needs its row in RESULT_TEXTS, in code order");

}  // namespace

CString CQuorinUpdateManagerDlg::GetErrorText(int code)
{
    if (code < 0 || code >= RESULT_TEXT_COUNT)
        return m_texts.GetText(TXT_ERR_UNSPECIFIC);
    return m_texts.GetText(RESULT_TEXTS[code].text);
}

CString CQuorinUpdateManagerDlg::BrowseUpdateContainer()
{
    CString path("");
    for (;;) {
        CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "ZIP Files (*.zip)|*.zip||");
        dialog.DoModal();
        path = dialog.GetPathName();
        if (!path.IsEmpty())
            return path;
        if (ShowBox(m_texts.GetText(TXT_SELECT_FILE_QUESTION), MB_YESNO | MB_ICONQUESTION) != IDYES)
            return CString("");
    }
}

void CQuorinUpdateManagerDlg::StartedWorker(int started)
{
    // A worker that could not be started posts no result; the machine is
    // handed the time-out code in its place, so the page it waits on moves
    // on as after a worker that got no answer.
    if (started != UPDATEProtocol::SESSION_STARTED)
        PostMessage(WM_UPDATE_RESULT, UPDATE_RESULT_TIMEOUT, 0);
}

using Dlg = CQuorinUpdateManagerDlg;

// Page, handler; Next, Back, Exit, Browse enabled; step bar, total bar, port
// box shown; marked step; title, body, footer; information painter.
// clang-format off
const Dlg::PageView Dlg::PAGES[] = {
    {PAGE_WELCOME, &Dlg::HandleWelcome,
     true, false, true, false, false, false, false,
     NO_STEP_LIST, TXT_WELCOME_TITLE, TXT_WELCOME_BODY, TXT_WELCOME_FOOTER, nullptr},
    {PAGE_SELECT_CONTAINER, &Dlg::HandleSelectContainer,
     false, true, true, true, false, false, false,
     0, NO_TEXT, TXT_SELECT_CONTAINER, NO_TEXT, nullptr},
    {PAGE_UNPACKING, &Dlg::HandleUnpacking,
     false, false, false, false, false, false, false,
     4, NO_TEXT, TXT_UNPACKING, NO_TEXT, nullptr},
    {PAGE_PREPARE_CONNECTION, &Dlg::HandlePrepareConnection,
     true, false, true, false, false, false, false,
     1, NO_TEXT, TXT_BLUETOOTH_HELP, NO_TEXT, nullptr},
    {PAGE_SELECT_PORT, &Dlg::HandleSelectPort,
     true, false, true, false, false, false, true,
     1, NO_TEXT, TXT_SELECT_PORT, NO_TEXT, nullptr},
    {PAGE_CONNECTING, &Dlg::HandleConnecting,
     false, false, true, false, false, false, false,
     1, NO_TEXT, TXT_CONNECTING, NO_TEXT, nullptr},
    {PAGE_READING_DEVICE, &Dlg::HandleReadingDevice,
     false, false, true, false, true, false, false,
     2, NO_TEXT, TXT_READING_DEVICE, NO_TEXT, nullptr},
    {PAGE_DEVICE_INFO, &Dlg::HandleDeviceInfo,
     true, false, true, false, false, false, false,
     2, NO_TEXT, NO_TEXT, NO_TEXT, &Dlg::DrawDeviceInfo},
    {PAGE_TRANSFERRING, &Dlg::HandleTransferring,
     false, false, true, false, true, true, false,
     5, NO_TEXT, TXT_SENDING, NO_TEXT, &Dlg::DrawTransferInfo},
    {PAGE_DISCONNECTING, &Dlg::HandleDisconnecting,
     false, false, false, false, false, false, false,
     6, NO_TEXT, NO_TEXT, NO_TEXT, nullptr},
    {PAGE_SUCCESS, &Dlg::HandleEnd,
     true, false, true, false, false, false, false,
     7, NO_TEXT, TXT_UPDATE_DONE, NO_TEXT, nullptr},
    {PAGE_DISCONNECTING_AFTER_ERROR, &Dlg::HandleDisconnecting,
     false, false, true, false, false, false, false,
     6, NO_TEXT, NO_TEXT, NO_TEXT, nullptr},
    {PAGE_ERROR, &Dlg::HandleEnd,
     true, false, true, false, false, false, false,
     7, NO_TEXT, TXT_UPDATE_ERROR, NO_TEXT, nullptr},
};
// clang-format on

const Dlg::PageView* CQuorinUpdateManagerDlg::FindPage(int page)
{
    for (const PageView& view : PAGES)
        if (view.page == page)
            return &view;
    return nullptr;
}

void CQuorinUpdateManagerDlg::EnterPage(int page)
{
    m_page = page;
    // The road of this update is over: nothing more is unpacked into the
    // Repository or sent from it, so another copy of the program may use it.
    if (page == PAGE_SUCCESS || page == PAGE_ERROR)
        m_protocol.ReleaseRepository();
    const PageView* view = FindPage(page);
    if (!view)
        return;
    SetNextEnabled(view->next);
    SetBackEnabled(view->back);
    SetExitEnabled(view->exit);
    SetBrowseEnabled(view->browse);
    if (view->stepBar != (m_stepProgress != nullptr))
        ShowStepProgress(view->stepBar);
    if (view->totalBar != (m_totalProgress != nullptr))
        ShowTotalProgress(view->totalBar);
    GetDlgItem(IDC_COMPORT_COMBO)->ShowWindow(view->portBox ? SW_SHOW : SW_HIDE);
}

int CQuorinUpdateManagerDlg::OnWizardEvent(int event, int code)
{
    if (!m_ready)
        return 0;
    const PageView* view = FindPage(m_page);
    if (!view)
        return 0;
    if ((this->*view->handler)(event, code))
        Repaint();
    return 0;
}

void CQuorinUpdateManagerDlg::DisconnectAfterError()
{
    StartedWorker(m_protocol.StartDisconnect());
    EnterPage(PAGE_DISCONNECTING_AFTER_ERROR);
}

bool CQuorinUpdateManagerDlg::HandleWelcome(int event, int)
{
    // Nothing else is expected here; it does not even repaint.
    if (event == EV_NEXT) {
        EnterPage(PAGE_SELECT_CONTAINER);
        return true;
    }
    if (event == EV_EXIT)
        ConfirmExit();
    return false;
}

bool CQuorinUpdateManagerDlg::HandleSelectContainer(int event, int)
{
    if (event == EV_EXIT) {
        ConfirmExit();
        return false;
    }
    if (event == EV_BROWSE) {
        m_containerPath = "";
        m_containerPath = BrowseUpdateContainer();
        if (!m_containerPath.IsEmpty()) {
            CString repository;
            repository.Format("%s\\%s", static_cast<LPCSTR>(m_protocol.GetTempFolder()), "Repository");
            m_protocol.SetRepositoryFolder(repository);
            int r = m_protocol.StartUnzip(m_protocol.GetAppFolder(), m_protocol.GetRepositoryFolder(), m_containerPath);
            int failure = r == UPDATE_RESULT_DISK_SPACE          ? TXT_ERR_DISK_SPACE
                          : r == UPDATE_RESULT_READ_ERROR        ? TXT_ERR_READ_FILE
                          : r == UPDATE_RESULT_UNZIP_START_ERROR ? TXT_ERR_UNZIP
                                                                 : -1;
            if (r == UPDATE_RESULT_SUCCESS) {
                EnterPage(PAGE_UNPACKING);
            } else if (failure >= 0) {
                // Nothing runs and no port is open: straight to the end.
                ShowBox(m_texts.GetText(failure));
                EnterPage(PAGE_ERROR);
            }
            return true;
        }
        // The user gave up: back to the start, as with Back.
    } else if (event != EV_BACK) {
        return false;
    }
    EnterPage(PAGE_WELCOME);
    return true;
}

int CQuorinUpdateManagerDlg::CheckUnpackedContainer()
{
    CString repository = m_protocol.GetRepositoryFolder();
    if (!PathIsDirectoryA(repository) || m_manager.IsFolderEmpty(repository))
        return TXT_ERR_UNZIP;
    CString pattern;
    pattern.Format("%s\\%s", static_cast<LPCSTR>(repository), "*.xml");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return TXT_ERR_CONTAINER_BROKEN;
    FindClose(search);
    m_containerXmlPath.Format("%s\\%s", static_cast<LPCSTR>(repository), found.cFileName);
    m_protocol.SetLastFileName(CString(found.cFileName));
    if (!g_UpdateModel.ParseResourceXml(m_containerXmlPath))
        return TXT_ERR_XML_PARSE;
    if (!g_UpdateModel.CheckContainerFiles(m_containerXmlPath))
        return TXT_CONTAINER_CORRUPT;
    return -1;
}

bool CQuorinUpdateManagerDlg::HandleUnpacking(int event, int code)
{
    // A worker that could not empty the Repository says so with its code, so
    // an old container left there is never taken for the new one; otherwise
    // the folder itself is looked at.
    if (event == EV_RESULT) {
        int failure = code != UPDATE_RESULT_SUCCESS ? TXT_ERR_UNZIP : CheckUnpackedContainer();
        if (failure < 0) {
            EnterPage(PAGE_PREPARE_CONNECTION);
        } else {
            ShowBox(m_texts.GetText(failure));
            EnterPage(PAGE_ERROR);
        }
    }
    return true;
}

bool CQuorinUpdateManagerDlg::HandlePrepareConnection(int event, int)
{
    if (event == EV_NEXT) {
        EnterPage(PAGE_SELECT_PORT);
        FillComPortList();
    } else if (event == EV_EXIT) {
        ConfirmExit();
    }
    return true;
}

bool CQuorinUpdateManagerDlg::HandleSelectPort(int event, int)
{
    if (event == EV_NEXT) {
        Sleep(100);
        EnterPage(PAGE_CONNECTING);
        SaveComPort();
        UPDATEManager::SetNotifyWindow(this);
        StartedWorker(m_protocol.StartConnect());
    } else if (event == EV_BACK) {
        EnterPage(PAGE_PREPARE_CONNECTION);
    } else if (event == EV_EXIT) {
        ConfirmExit();
    }
    return true;
}

bool CQuorinUpdateManagerDlg::HandleConnecting(int event, int code)
{
    if (event == EV_EXIT) {
        m_protocol.Cancel();
        SetExitEnabled(false);
    } else if (event == EV_RESULT) {
        if (code == UPDATE_RESULT_SUCCESS) {
            EnterPage(PAGE_READING_DEVICE);
            StartedWorker(m_protocol.StartInquiry());
        } else if (code == UPDATE_RESULT_DEVICE_DISCONNECTED || code == UPDATE_RESULT_DEVICE_NAK ||
                   code == UPDATE_RESULT_TIMEOUT || code == UPDATE_RESULT_PORT_ERROR) {
            // No port is open: the user may try again from the page before
            // the port choice.
            CString text;
            text.Format("%s\n%s", static_cast<LPCSTR>(GetErrorText(code)),
                        static_cast<LPCSTR>(m_texts.GetText(TXT_NO_CONNECTION)));
            ShowBox(text, MB_OK | MB_ICONEXCLAMATION);
            EnterPage(PAGE_PREPARE_CONNECTION);
        } else if (code == UPDATE_RESULT_CANCELLED) {
            EnterPage(PAGE_ERROR);
            ConfirmExit();
        }
    }
    return true;
}

bool CQuorinUpdateManagerDlg::HandleReadingDevice(int event, int code)
{
    if (event == EV_EXIT) {
        m_protocol.Cancel();
        SetExitEnabled(false);
    } else if (event == EV_RESULT && code >= UPDATE_RESULT_SUCCESS && code <= UPDATE_RESULT_CANCELLED) {
        // The read-out is over either way; its bar goes before anything else.
        ShowStepProgress(false);
        // A description that this inquiry did not write (its file could not
        // be created, and an earlier one could not be removed) is another
        // car kit's: the road ends as for one that cannot be read.
        if (code == UPDATE_RESULT_SUCCESS && m_protocol.ReceivedProductXml() && g_UpdateModel.ReadProductXml()) {
            EnterPage(PAGE_DEVICE_INFO);
        } else {
            if (code != UPDATE_RESULT_SUCCESS && code != UPDATE_RESULT_CANCELLED)
                ShowBox(m_texts.GetText(TXT_ERR_NO_CONNECTION));
            DisconnectAfterError();
        }
    }
    return true;
}

bool CQuorinUpdateManagerDlg::HandleDeviceInfo(int event, int)
{
    if (event == EV_NEXT) {
        int r = g_UpdateModel.GetFileList(m_settings.m_forceUpdate, m_texts);
        // A failure code with files to send still starts the transfer.
        if (!g_UpdateModel.m_FileList.empty()) {
            EnterPage(PAGE_TRANSFERRING);
            StartedWorker(m_protocol.StartUpdate());
            DrawTransferInfo();
        } else {
            // The user who declined an update to the same version knows why.
            if (r != UPDATE_RESULT_SAME_VERSION)
                ShowBox(m_texts.GetText(TXT_ERR_CONTAINER_BROKEN));
            DisconnectAfterError();
        }
    } else if (event == EV_EXIT) {
        if (ConfirmClose())
            DisconnectAfterError();
    }
    return true;
}

bool CQuorinUpdateManagerDlg::HandleTransferring(int event, int code)
{
    if (event == EV_EXIT) {
        SetExitEnabled(false);
        if (ConfirmClose())
            m_protocol.Cancel();
        else
            SetExitEnabled(true);
        return true;
    }
    if (event == EV_INFO_CHANGED) {
        // The painter draws over what is there; a shorter name than the one
        // before would leave the end of the old one on the screen.
        EraseFileName();
        DrawTransferInfo();
        return true;
    }
    if (event != EV_RESULT)
        return true;
    switch (code) {
    case UPDATE_RESULT_SUCCESS:
        EnterPage(PAGE_DISCONNECTING);
        StartedWorker(m_protocol.StartDisconnect());
        break;
    case UPDATE_RESULT_DEVICE_DISCONNECTED:
    case UPDATE_RESULT_DEVICE_NAK: {
        CString text;
        text.Format("%s [%d]", static_cast<LPCSTR>(GetErrorText(code)),
                    static_cast<unsigned>(UPDATEManager::m_LastNakReason));
        ShowBox(text);
        DisconnectAfterError();
        break;
    }
    case UPDATE_RESULT_UNEXPECTED_COMMAND:
    case UPDATE_RESULT_TIMEOUT:
        ShowBox(GetErrorText(code));
        DisconnectAfterError();
        break;
    case UPDATE_RESULT_CANCELLED:
        DisconnectAfterError();
        break;
    case UPDATE_RESULT_READ_ERROR:
        ShowBox(m_texts.GetText(TXT_CONTAINER_CORRUPT));
        DisconnectAfterError();
        break;
    default:
        break;
    }
    return true;
}

bool CQuorinUpdateManagerDlg::HandleDisconnecting(int event, int code)
{
    if (event == EV_EXIT) {
        m_protocol.Cancel();
        SetExitEnabled(false);
    } else if (event == EV_RESULT && code >= UPDATE_RESULT_SUCCESS && code <= UPDATE_RESULT_CANCELLED) {
        // The disconnect's own code is not looked at: a kit that did not
        // answer it has still got its update.
        EnterPage(m_page == PAGE_DISCONNECTING ? PAGE_SUCCESS : PAGE_ERROR);
    }
    return true;
}

bool CQuorinUpdateManagerDlg::HandleEnd(int event, int)
{
    // The next update needs a new Browse.
    m_containerPath = "";
    if (event == EV_NEXT)
        EnterPage(PAGE_WELCOME);
    else if (event == EV_EXIT)
        ConfirmExit();
    return true;
}

// The page state machine of the wizard window, the texts of the result codes
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
        CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                           "ZIP Files (*.zip)|*.zip||");
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
    if (started != 0)
        PostMessage(WM_UPDATE_RESULT, UPDATE_RESULT_TIMEOUT, 0);
}

void CQuorinUpdateManagerDlg::ErrorTail()
{
    SetNextEnabled(false);
    SetBackEnabled(false);
    SetExitEnabled(true);
    ShowStepProgress(false);
    ShowTotalProgress(false);
}

int CQuorinUpdateManagerDlg::OnWizardEvent(int event, int code)
{
    if (!m_ready)
        return 0;
    switch (m_page) {
    case PAGE_WELCOME:
        if (event == EV_NEXT) {
            m_page = PAGE_SELECT_CONTAINER;
            SetNextEnabled(false);
            SetBackEnabled(true);
            SetExitEnabled(true);
            SetBrowseEnabled(true);
            Repaint();
        } else if (event == EV_EXIT) {
            ConfirmExit();
        }
        return 0;

    case PAGE_SELECT_CONTAINER:
        if (event == EV_EXIT) {
            ConfirmExit();
            return 0;
        }
        if (event == EV_BROWSE) {
            m_containerPath = "";
            m_containerPath = BrowseUpdateContainer();
            if (!m_containerPath.IsEmpty()) {
                CString repository;
                repository.Format("%s\\%s", static_cast<LPCSTR>(m_protocol.GetTempFolder()),
                                  "Repository");
                m_protocol.SetRepositoryFolder(repository);
                int r = m_protocol.StartUnzip(m_protocol.GetAppFolder(),
                                              m_protocol.GetRepositoryFolder(), m_containerPath);
                if (r == UPDATE_RESULT_SUCCESS) {
                    m_page = PAGE_UNPACKING;
                    SetNextEnabled(false);
                    SetBackEnabled(false);
                    SetExitEnabled(false);
                    SetBrowseEnabled(false);
                } else if (r == UPDATE_RESULT_DISK_SPACE || r == UPDATE_RESULT_READ_ERROR ||
                           r == UPDATE_RESULT_UNZIP_START_ERROR) {
                    int text = r == UPDATE_RESULT_DISK_SPACE ? TXT_ERR_DISK_SPACE
                               : r == UPDATE_RESULT_READ_ERROR ? TXT_ERR_READ_FILE
                                                               : TXT_ERR_UNZIP;
                    ShowBox(m_texts.GetText(text));
                    m_page = PAGE_ERROR;
                    SetNextEnabled(true);
                    SetBackEnabled(false);
                    SetExitEnabled(true);
                    SetBrowseEnabled(false);
                }
                Repaint();
                return 0;
            }
            // The user gave up: back to the start, as with Back.
        } else if (event != EV_BACK) {
            return 0;
        }
        m_page = PAGE_WELCOME;
        SetBackEnabled(false);
        SetBrowseEnabled(false);
        SetNextEnabled(true);
        Repaint();
        return 0;

    case PAGE_UNPACKING:
        if (event == EV_RESULT) {
            int failure = -1;
            CString repository = m_protocol.GetRepositoryFolder();
            if (!PathIsDirectoryA(repository) || m_manager.IsFolderEmpty(repository)) {
                failure = TXT_ERR_UNZIP;
            } else {
                CString pattern;
                pattern.Format("%s\\%s", static_cast<LPCSTR>(repository), "*.xml");
                WIN32_FIND_DATAA found;
                HANDLE search = FindFirstFileA(pattern, &found);
                if (search == INVALID_HANDLE_VALUE) {
                    failure = TXT_ERR_CONTAINER_BROKEN;
                } else {
                    FindClose(search);
                    m_containerXmlPath.Format("%s\\%s", static_cast<LPCSTR>(repository),
                                              found.cFileName);
                    m_protocol.SetLastFileName(CString(found.cFileName));
                    if (!g_UpdateModel.ParseResourceXml(m_containerXmlPath))
                        failure = TXT_ERR_XML_PARSE;
                    else if (!g_UpdateModel.CheckContainerFiles(m_containerXmlPath))
                        failure = TXT_CONTAINER_CORRUPT;
                }
            }
            if (failure < 0) {
                SetNextEnabled(true);
                SetBackEnabled(false);
                SetExitEnabled(true);
                m_page = PAGE_PREPARE_CONNECTION;
            } else {
                ShowBox(m_texts.GetText(failure));
                m_page = PAGE_ERROR;
                SetNextEnabled(true);
                SetBackEnabled(false);
                SetExitEnabled(true);
            }
        }
        break;

    case PAGE_PREPARE_CONNECTION:
        if (event == EV_NEXT) {
            m_page = PAGE_SELECT_PORT;
            GetDlgItem(IDC_COMPORT_COMBO)->ShowWindow(SW_SHOW);
            FillComPortList();
        } else if (event == EV_EXIT) {
            ConfirmExit();
        }
        break;

    case PAGE_SELECT_PORT:
        if (event == EV_NEXT) {
            SetNextEnabled(false);
            SetBackEnabled(false);
            Sleep(100);
            m_page = PAGE_CONNECTING;
            GetDlgItem(IDC_COMPORT_COMBO)->ShowWindow(SW_HIDE);
            SaveComPort();
            UPDATEManager::SetNotifyWindow(this);
            StartedWorker(m_protocol.StartConnect());
        } else if (event == EV_BACK) {
            m_page = PAGE_PREPARE_CONNECTION;
            GetDlgItem(IDC_COMPORT_COMBO)->ShowWindow(SW_HIDE);
        } else if (event == EV_EXIT) {
            ConfirmExit();
        }
        break;

    case PAGE_CONNECTING:
        if (event == EV_EXIT) {
            m_protocol.Cancel();
            SetExitEnabled(false);
        } else if (event == EV_RESULT) {
            if (code == UPDATE_RESULT_SUCCESS) {
                m_page = PAGE_READING_DEVICE;
                StartedWorker(m_protocol.StartInquiry());
                SetNextEnabled(false);
                SetBackEnabled(false);
                ShowStepProgress(true);
            } else if (code == UPDATE_RESULT_DEVICE_DISCONNECTED || code == UPDATE_RESULT_DEVICE_NAK ||
                       code == UPDATE_RESULT_TIMEOUT || code == UPDATE_RESULT_PORT_ERROR) {
                CString text;
                text.Format("%s\n%s", static_cast<LPCSTR>(GetErrorText(code)),
                            static_cast<LPCSTR>(m_texts.GetText(TXT_NO_CONNECTION)));
                ShowBox(text, MB_OK | MB_ICONEXCLAMATION);
                m_page = PAGE_PREPARE_CONNECTION;
                SetNextEnabled(true);
                SetBackEnabled(false);
            } else if (code == UPDATE_RESULT_CANCELLED) {
                m_page = PAGE_ERROR;
                SetNextEnabled(true);
                SetBackEnabled(false);
                SetExitEnabled(true);
                SetBrowseEnabled(false);
                ConfirmExit();
            }
        }
        break;

    case PAGE_READING_DEVICE:
        if (event == EV_EXIT) {
            m_protocol.Cancel();
            SetExitEnabled(false);
        } else if (event == EV_RESULT) {
            if (code == UPDATE_RESULT_SUCCESS) {
                ShowStepProgress(false);
                if (g_UpdateModel.ReadProductXml()) {
                    SetNextEnabled(true);
                    SetExitEnabled(true);
                    SetBackEnabled(false);
                    m_page = PAGE_DEVICE_INFO;
                } else {
                    StartedWorker(m_protocol.StartDisconnect());
                    m_page = PAGE_DISCONNECTING_AFTER_ERROR;
                    SetNextEnabled(false);
                    SetExitEnabled(true);
                    SetBackEnabled(false);
                }
            } else if (code >= UPDATE_RESULT_DEVICE_DISCONNECTED && code <= UPDATE_RESULT_TIMEOUT) {
                ShowStepProgress(false);
                ShowBox(m_texts.GetText(TXT_ERR_NO_CONNECTION));
                StartedWorker(m_protocol.StartDisconnect());
                m_page = PAGE_DISCONNECTING_AFTER_ERROR;
                SetNextEnabled(false);
                SetBackEnabled(false);
                SetExitEnabled(true);
            } else if (code == UPDATE_RESULT_CANCELLED) {
                ShowStepProgress(false);
                SetNextEnabled(false);
                SetBackEnabled(false);
                SetExitEnabled(true);
                StartedWorker(m_protocol.StartDisconnect());
                m_page = PAGE_DISCONNECTING_AFTER_ERROR;
            }
        }
        break;

    case PAGE_DEVICE_INFO:
        if (event == EV_NEXT) {
            int r = g_UpdateModel.GetFileList(m_settings.m_forceUpdate, m_texts);
            if (!g_UpdateModel.m_FileList.empty()) {
                ShowStepProgress(true);
                ShowTotalProgress(true);
                StartedWorker(m_protocol.StartUpdate());
                DrawProgressInfo(m_protocol.GetCurrentFileName());
                SetNextEnabled(false);
                SetBackEnabled(false);
                SetExitEnabled(true);
                m_page = PAGE_TRANSFERRING;
            } else {
                if (r != UPDATE_RESULT_SAME_VERSION)
                    ShowBox(m_texts.GetText(TXT_ERR_CONTAINER_BROKEN));
                StartedWorker(m_protocol.StartDisconnect());
                m_page = PAGE_DISCONNECTING_AFTER_ERROR;
                SetNextEnabled(false);
                SetBackEnabled(false);
                SetExitEnabled(true);
            }
        } else if (event == EV_EXIT) {
            if (ConfirmClose()) {
                StartedWorker(m_protocol.StartDisconnect());
                m_page = PAGE_DISCONNECTING_AFTER_ERROR;
                SetNextEnabled(false);
                SetBackEnabled(false);
                SetExitEnabled(true);
            }
        }
        break;

    case PAGE_TRANSFERRING:
        if (event == EV_EXIT) {
            SetExitEnabled(false);
            if (ConfirmClose())
                m_protocol.Cancel();
            else
                SetExitEnabled(true);
        } else if (event == EV_INFO_CHANGED) {
            DrawProgressInfo(m_protocol.GetCurrentFileName());
        } else if (event == EV_RESULT) {
            switch (code) {
            case UPDATE_RESULT_SUCCESS:
                m_page = PAGE_DISCONNECTING;
                StartedWorker(m_protocol.StartDisconnect());
                SetNextEnabled(false);
                SetBackEnabled(false);
                SetExitEnabled(false);
                ShowStepProgress(false);
                ShowTotalProgress(false);
                break;
            case UPDATE_RESULT_DEVICE_DISCONNECTED:
            case UPDATE_RESULT_DEVICE_NAK: {
                CString text;
                text.Format("%s [%d]", static_cast<LPCSTR>(GetErrorText(code)),
                            static_cast<unsigned>(UPDATEManager::m_LastNakReason));
                ShowBox(text);
                m_page = PAGE_DISCONNECTING_AFTER_ERROR;
                StartedWorker(m_protocol.StartDisconnect());
                ErrorTail();
                break;
            }
            case UPDATE_RESULT_UNEXPECTED_COMMAND:
            case UPDATE_RESULT_TIMEOUT:
                ShowBox(GetErrorText(code));
                m_page = PAGE_DISCONNECTING_AFTER_ERROR;
                StartedWorker(m_protocol.StartDisconnect());
                ErrorTail();
                break;
            case UPDATE_RESULT_CANCELLED:
                m_page = PAGE_DISCONNECTING_AFTER_ERROR;
                StartedWorker(m_protocol.StartDisconnect());
                ErrorTail();
                break;
            case UPDATE_RESULT_READ_ERROR:
                ShowBox(m_texts.GetText(TXT_CONTAINER_CORRUPT));
                StartedWorker(m_protocol.StartDisconnect());
                m_page = PAGE_DISCONNECTING_AFTER_ERROR;
                ErrorTail();
                break;
            default:
                break;
            }
        }
        break;

    case PAGE_DISCONNECTING:
    case PAGE_DISCONNECTING_AFTER_ERROR:
        if (event == EV_EXIT) {
            m_protocol.Cancel();
            SetExitEnabled(false);
        } else if (event == EV_RESULT && code >= UPDATE_RESULT_SUCCESS &&
                   code <= UPDATE_RESULT_CANCELLED) {
            m_page = m_page == PAGE_DISCONNECTING ? PAGE_SUCCESS : PAGE_ERROR;
            SetNextEnabled(true);
            SetBackEnabled(false);
            SetExitEnabled(true);
        }
        break;

    case PAGE_SUCCESS:
    case PAGE_ERROR:
        m_containerPath = "";
        if (event == EV_NEXT) {
            m_page = PAGE_WELCOME;
            SetNextEnabled(true);
            SetBackEnabled(false);
            SetExitEnabled(true);
        } else if (event == EV_EXIT) {
            ConfirmExit();
        }
        break;

    default:
        // 2, 3, 8, 11 and 12 are no pages.
        return 0;
    }
    Repaint();
    return 0;
}

// The application object theApp: the folder names from the environment and
// the wizard window run modally.
#include "wizard/CQuorinUpdateManagerApp.h"

#include "container/GlobalFolders.h"
#include "link/UPDATEManager.h"
#include "platform/app/CommandLine.h"
#include "platform/files/FileApi.h"
#include "platform/gdi/GdiResources.h"
#include "platform/paths/Environment.h"
#include "resources/resource.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace {

const DWORD FOLDER_BUFFER = 260;

// The variable's value when it is set, not empty and fits the buffer with
// its terminator; a longer value is taken as unset.
bool ReadFolderVariable(const char* name, CString& folder)
{
    char buffer[FOLDER_BUFFER];
    DWORD length = GetEnvironmentVariableA(name, buffer, FOLDER_BUFFER);
    if (length == 0 || length >= FOLDER_BUFFER)
        return false;
    folder = buffer;
    return true;
}

}  // namespace

CQuorinUpdateManagerApp theApp;

BEGIN_MESSAGE_MAP(CQuorinUpdateManagerApp, CWinApp)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CQuorinUpdateManagerApp::CQuorinUpdateManagerApp() : CWinApp(nullptr) {}

CQuorinUpdateManagerApp::~CQuorinUpdateManagerApp() = default;

void CQuorinUpdateManagerApp::SetUpFolders(const char* programPath)
{
    g_ProgramPath.Format("%s", programPath ? programPath : "");
    CString programFolder = GetProgramFolder();
    SetCurrentDirectoryA(programFolder);
    UPDATEManager::m_AppFolder = programFolder;

    CString temp;
    if (!ReadFolderVariable("TMP", temp) && !ReadFolderVariable("TEMP", temp))
        temp = programFolder;
    g_WorkFolder = temp;
    UPDATEManager::m_TempFolder = temp;
}

BOOL CQuorinUpdateManagerApp::InitInstance()
{
    InitCommonControls();
    CWinApp::InitInstance();
    SetUpFolders(__argc > 0 ? __argv[0] : "");

    if (!AfxOleInit()) {
        char text[256];
        if (LoadStringA(nullptr, IDP_OLE_INIT_FAILED, text, sizeof(text)) == 0)
            text[0] = '\0';
        AfxMessageBox(text, MB_OK);
        return FALSE;
    }
    AfxEnableControlContainer();
    SetRegistryKey("ZQUpdateManager");

    CQuorinUpdateManagerDlg dialog(nullptr);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

// The application object, its main window and the application-wide helpers.
#include "platform/app/CWinApp.h"

#include <unistd.h>

#include <climits>
#include <string>

#include "platform/gdi/GdiResources.h"
#include "platform/window/Application.h"

namespace {

CWinApp* g_app = nullptr;

CString ProgramBaseName()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0)
        return CString("");
    std::string name(path, static_cast<size_t>(n));
    size_t slash = name.find_last_of('/');
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name = name.substr(0, dot);
    return CString(name);
}

}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCTSTR appName)
{
    m_nameGiven = appName != nullptr;
    m_strAppName = appName ? CString(appName) : ProgramBaseName();
    m_pszAppName = m_strAppName;
    m_pPreviousApp = g_app;
    g_app = this;
    zq::SetApplication(&AfxGetAppName, &AfxGetMainWnd);
}

CWinApp::~CWinApp()
{
    // A program has one application object; a second one (a test's own)
    // hands the first back when it goes, in whatever order they end.
    if (g_app == this) {
        g_app = m_pPreviousApp;
        return;
    }
    for (CWinApp* app = g_app; app != nullptr; app = app->m_pPreviousApp) {
        if (app->m_pPreviousApp == this) {
            app->m_pPreviousApp = m_pPreviousApp;
            return;
        }
    }
}

void CWinApp::SetCurrentHandles()
{
    char title[256];
    if (m_nameGiven || LoadStringA(nullptr, AFX_IDS_APP_TITLE, title, sizeof(title)) <= 0)
        return;
    m_strAppName = title;
    m_pszAppName = m_strAppName;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

void CWinApp::SetRegistryKey(LPCTSTR key)
{
    m_strRegistryKey = key ? key : "";
    m_pszRegistryKey = m_strRegistryKey;
}

void CWinApp::OnHelp() {}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    CWinApp* app = AfxGetApp();
    return app ? app->m_pMainWnd : nullptr;
}

LPCTSTR AfxGetAppName()
{
    CWinApp* app = AfxGetApp();
    return app ? app->m_pszAppName : "";
}

int AfxMessageBox(LPCTSTR text, UINT type, UINT)
{
    CWnd* main = AfxGetMainWnd();
    HWND owner = main ? main->GetSafeHwnd() : nullptr;
    if (!IsWindow(owner))
        owner = GetActiveWindow();
    return MessageBoxA(owner, text, AfxGetAppName(), type);
}

int AfxMessageBox(UINT promptId, UINT type, UINT)
{
    char text[1024];
    if (LoadStringA(nullptr, promptId, text, sizeof(text)) <= 0)
        text[0] = '\0';
    return AfxMessageBox(text, type);
}

BOOL AfxOleInit()
{
    return TRUE;
}

void AfxEnableControlContainer() {}

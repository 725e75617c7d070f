// CWinApp: the application object, its main window and the framework's
// application-wide helpers (AfxGetApp, AfxMessageBox...).
#pragma once

#include "platform/window/CWnd.h"

#define ID_HELP 0xE146
// The string resource that holds the application's title.
#define AFX_IDS_APP_TITLE 0xE000

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCTSTR appName = nullptr);
    ~CWinApp() override;

    // The framework's start-up step before InitInstance (main calls it): an
    // application made without a name takes its title, the string resource
    // AFX_IDS_APP_TITLE, as its name when the program has one.
    void SetCurrentHandles();

    // The program's start-up; FALSE ends the process without a message loop.
    virtual BOOL InitInstance();
    virtual int ExitInstance();

    // The registry key under HKEY_CURRENT_USER\Software that the framework's
    // profile functions would use; the program only names it.
    void SetRegistryKey(LPCTSTR key);

    CWnd* m_pMainWnd = nullptr;
    // The application's name, the caption of AfxMessageBox: the name given
    // to the constructor, else the title string once SetCurrentHandles ran,
    // else the program file's name without extension.
    CString m_strAppName;
    LPCTSTR m_pszAppName = nullptr;
    CString m_strRegistryKey;
    LPCTSTR m_pszRegistryKey = nullptr;

    afx_msg void OnHelp();

protected:
    DECLARE_MESSAGE_MAP()

private:
    // The application object that was current before this one.
    CWinApp* m_pPreviousApp = nullptr;
    bool m_nameGiven = false;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
LPCTSTR AfxGetAppName();

// A message box owned by the main window, with the application's name as
// its caption.
int AfxMessageBox(LPCTSTR text, UINT type = MB_OK, UINT helpId = 0);
// The same with the text of a string resource (an empty text when there is
// no such string).
int AfxMessageBox(UINT promptId, UINT type = MB_OK, UINT helpId = static_cast<UINT>(-1));

// OLE and control containers have nothing to set up here.
BOOL AfxOleInit();
void AfxEnableControlContainer();

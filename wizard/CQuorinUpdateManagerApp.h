// The application object: fixes the process-wide folder names, names the
// registry key and runs the wizard window modally. When the window closes
// the process ends; nothing is saved at exit.
#pragma once

#include "platform/app/CWinApp.h"

class CQuorinUpdateManagerApp : public CWinApp {
public:
    CQuorinUpdateManagerApp();
    ~CQuorinUpdateManagerApp() override;

    // Always FALSE: the framework ends the process without a message loop.
    BOOL InitInstance() override;

    // The folders from the program's path and the environment: g_ProgramPath,
    // the program folder (also the current directory) and the temp folder.
    static void SetUpFolders(const char* programPath);

protected:
    DECLARE_MESSAGE_MAP()
};

extern CQuorinUpdateManagerApp theApp;

// The program's start: the command line, the window system, then the
// application object's InitInstance. InitInstance returning FALSE ends the
// program, as the framework does.
#include "platform/app/CommandLine.h"
#include "platform/app/CWinApp.h"
#include "platform/base/FatalEnd.h"
#include "platform/serial/ComPorts.h"
#include "platform/window/NativeBackend.h"

int main(int argc, char** argv)
{
    zq::InitCommandLine(argc, argv);
    // A closed terminal, a kill or an abort must not leave an unpacker
    // writing on, nor a port held.
    zq::RunFatalEndActionsOnSignals();
    zq::InstallSerialCommProvider();
    zq::win::UseNativeBackend(&argc, &argv);
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->SetCurrentHandles();
    int code = 0;
    if (app->InitInstance()) {
        MSG msg;
        BOOL got;
        while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        code = got == 0 ? static_cast<int>(msg.wParam) : 0;
    }
    int exitCode = app->ExitInstance();
    return code ? code : exitCode;
}

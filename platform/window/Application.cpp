// The application's name and main window as the window layer keeps them.
#include "platform/window/Application.h"

#include <atomic>

namespace {

std::atomic<zq::ApplicationNameQuery> g_name{nullptr};
std::atomic<zq::MainWindowQuery> g_mainWindow{nullptr};

}  // namespace

namespace zq {

void SetApplication(ApplicationNameQuery name, MainWindowQuery mainWindow)
{
    g_name = name;
    g_mainWindow = mainWindow;
}

LPCTSTR ApplicationName()
{
    const ApplicationNameQuery name = g_name;
    LPCTSTR text = name != nullptr ? name() : nullptr;
    return text != nullptr ? text : "";
}

CWnd* ApplicationMainWindow()
{
    const MainWindowQuery mainWindow = g_mainWindow;
    return mainWindow != nullptr ? mainWindow() : nullptr;
}

}  // namespace zq

// What the window layer knows of the application object above it: its name,
// the caption of a message box that names none, and its main window, the
// owner of a dialog that names none. The layer sits below the application,
// so the application hands both down when it is made (CWinApp does); before
// that, and in programs without one, the name is empty and there is no main
// window.
#pragma once

#include "platform/base/WinTypes.h"

class CWnd;

namespace zq {

using ApplicationNameQuery = LPCTSTR (*)();
using MainWindowQuery = CWnd* (*)();

// The application's queries; null keeps the default (an empty name, no main
// window).
void SetApplication(ApplicationNameQuery name, MainWindowQuery mainWindow);

LPCTSTR ApplicationName();
CWnd* ApplicationMainWindow();

}  // namespace zq

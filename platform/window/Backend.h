// The native side of the window system. The headless backend keeps the same
// window tree and messages without a display (tests); the GTK backend shows
// the windows. Only platform/window uses this header.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/strings/CString.h"
#include "platform/window/MessageBoxSeam.h"
#include "platform/window/WindowTree.h"

namespace zq {
namespace win {

enum class Change { Text, Enabled, Visible, Geometry, Style, Items, Progress, Check, Focus, Icon };

struct FileFilter {
    std::string name;                   // Windows-1252, e.g. "ZIP Files (*.zip)"
    std::vector<std::string> patterns;  // e.g. "*.zip"
};

class Backend {
public:
    virtual ~Backend() = default;
    // With the queue empty: processes native events and waits at most
    // timeoutMs for something to arrive. TRUE when something may have come.
    virtual bool WaitForEvents(int timeoutMs) = 0;
    // Makes a waiting WaitForEvents return; any thread.
    virtual void Wake() = 0;
    virtual void Created(Window*) {}
    virtual void Destroyed(Window*) {}
    virtual void Changed(Window*, Change) {}
    // A window's pixels changed (client rectangle of that window).
    virtual void Drawn(Window*, const RECT&) {}
    // A box or file dialog the program asks for; they run their own modal
    // loop (RunModalUntil) while shown.
    virtual int MessageBox(const MessageBoxCall& call) = 0;
    virtual bool OpenFileDialog(HWND owner, const std::vector<FileFilter>& filters, CString* path) = 0;
    virtual POINT CursorPos() = 0;
    virtual SIZE ScreenSize() = 0;
};

Backend& CurrentBackend();
// Installs a backend and returns the one it replaces, so that a caller can
// put that one back; the headless one is used until another is installed.
// A null backend changes nothing and returns null.
std::unique_ptr<Backend> InstallBackend(std::unique_ptr<Backend> backend);
std::unique_ptr<Backend> MakeHeadlessBackend();

// The queue, for the backends.
bool QueueEmpty();
size_t QueueLength();
// Waits on the queue's condition at most timeoutMs; TRUE when a message is there.
bool WaitQueue(int timeoutMs);

// Input routing shared by the backends: a mouse event at a point of a
// top-level window's client area goes to the capture window, else to the
// deepest enabled, visible window under it; the message carries that
// window's client coordinates. WM_SETCURSOR is sent first for moves.
void RouteMouse(HWND topLevel, UINT message, POINT clientPoint, UINT keyFlags);
// A key goes to the focus window, else to the active window.
void RouteKey(UINT message, UINT virtualKey);

}  // namespace win
}  // namespace zq

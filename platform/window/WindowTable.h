// The window table that the files of the window system share among
// themselves: the windows by handle, the top-level windows, focus and
// capture, and the steps of delivery and painting they call on each other.
// Only Window.cpp, MessageQueue.cpp, Invalidation.cpp and Focus.cpp use it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/window/WindowTree.h"

namespace zq {
namespace win {

// Window.cpp: the window table.
extern std::mutex g_tableLock;
extern std::unordered_map<uintptr_t, std::unique_ptr<Window>> g_windows;
extern std::vector<HWND> g_topLevels;  // in creation order

inline uintptr_t Key(HWND hwnd)
{
    return reinterpret_cast<uintptr_t>(hwnd);
}

LRESULT Deliver(Window* w, UINT message, WPARAM wParam, LPARAM lParam);
HWND HitTest(Window* w, POINT clientPoint);

// MessageQueue.cpp.
void PurgeQueue(HWND hwnd);
extern HWND g_lastDownWindow;

// Invalidation.cpp.
Window* AnyInvalid(HWND filter);
LRESULT PaintNow(Window* w);

// Focus.cpp.
extern HWND g_focus;
extern HWND g_capture;
extern HWND g_active;

}  // namespace win
}  // namespace zq

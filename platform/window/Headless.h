// The headless window system: the same windows and messages as on the
// screen, without a display. Tests pump its queue and drive the windows with
// synthetic pointer and key input.
#pragma once

#include <functional>

#include "platform/window/WinUser.h"

namespace zq {

// Dispatches the messages that are waiting (posted messages, then WM_PAINT)
// and returns how many ran. UI thread.
int PumpPendingMessages();
// Dispatches messages until done() is true or timeoutMs passed; TRUE when
// done() became true. UI thread.
bool PumpMessagesUntil(const std::function<bool()>& done, int timeoutMs);

namespace headless {

// Called by a waiting modal loop whenever its queue is empty: tests drive a
// modal dialog from it (click, answer, end). Returns the handler it replaces.
std::function<void()> SetIdleHandler(std::function<void()> handler);
// How long a modal loop waits without any message before it gives up and
// ends with -1 (so a test that forgets to end a dialog cannot hang).
// Returns the time it replaces.
int SetIdleTimeout(int milliseconds);

// Pointer and keys, in the client coordinates of a top-level window. The
// input is queued as the screen would queue it; pump to deliver it.
void MoveMouse(HWND topLevel, int x, int y);
void PressMouse(HWND topLevel, int x, int y);
void ReleaseMouse(HWND topLevel, int x, int y);
// Move, press and release at one point.
void Click(HWND topLevel, int x, int y);
void PressKey(UINT virtualKey);
void ReleaseKey(UINT virtualKey);

}  // namespace headless
}  // namespace zq

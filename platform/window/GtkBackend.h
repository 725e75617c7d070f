// The GTK 3 side of the window system: every top-level window is a GTK
// window whose client area shows the window's composed pixels, with the
// standard controls as GTK widgets above them. Only platform/ and the tests
// of the window system use this header.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/window/Backend.h"

namespace zq {
namespace win {

// Opens the display (GTK initialised with the process's arguments when
// given) and makes the backend; null when no display can be opened. Install
// it with InstallBackend. UI thread only.
std::unique_ptr<Backend> MakeGtkBackend(int* argc = nullptr, char*** argv = nullptr);

// For tests: the rectangle GTK gave a control's widget, in its top-level's
// client coordinates, and the widget as GTK draws it there (0xAARRGGBB,
// rows top-down); false for a window without a GTK widget.
bool NativeControlGeometry(HWND hwnd, RECT* allocation, std::vector<uint32_t>* pixels = nullptr);

// How often a thread other than the one that initialised GTK tried to enter
// it through the backend (each time told on the debug channel's window area
// and refused). The tests under a display expect none.
int GtkEntriesFromOtherThreads();

}  // namespace win
}  // namespace zq

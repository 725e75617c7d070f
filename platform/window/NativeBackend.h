// The choice of the window system's native side for the program.
#pragma once

namespace zq {
namespace win {

// Shows the windows with GTK when a display can be opened; otherwise the
// headless backend stays (the program then runs without a screen).
bool UseNativeBackend(int* argc, char*** argv);

}  // namespace win
}  // namespace zq

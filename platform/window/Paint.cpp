// The default painting of the layer's windows.
#include "platform/window/WindowTree.h"

namespace zq {
namespace win {

LRESULT DefaultPaint(Window* w)
{
    ValidateRect(w->hwnd, nullptr);
    return 0;
}

LRESULT DefaultErase(Window*, HDC) { return 1; }

}  // namespace win
}  // namespace zq

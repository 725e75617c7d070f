// Fault injection of the drawing layer, for tests of the failure paths.
#pragma once

namespace zq {
namespace gdi {

// While set, every creation of a bitmap for which the hook returns true
// fails as if memory had run out. nullptr removes the hook. Returns the hook
// it replaces.
using BitmapCreationFailureHook = bool (*)(int width, int height, int bitsPerPixel);
BitmapCreationFailureHook SetBitmapCreationFailureHook(BitmapCreationFailureHook hook);

}  // namespace gdi
}  // namespace zq

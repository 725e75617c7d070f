// Fault injection of the drawing layer, for tests of the failure paths.
#pragma once

namespace zq {
namespace gdi {

// While set, every creation of a bitmap for which the hook returns true
// fails as if memory had run out. nullptr removes the hook.
void SetBitmapCreationFailureHook(bool (*hook)(int width, int height, int bitsPerPixel));

}  // namespace gdi
}  // namespace zq

// The GTK side of the window system (to come); until then the program keeps
// the headless backend.
#include "platform/window/NativeBackend.h"

namespace zq {
namespace win {

bool UseNativeBackend(int*, char***) { return false; }

}  // namespace win
}  // namespace zq

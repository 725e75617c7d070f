// While a modal box or dialog is open its owner is disabled and inactive,
// and gets focus and activation back afterwards. Only platform/window uses
// this header.
#pragma once

#include "platform/window/WinUser.h"

namespace zq {
namespace win {

class ModalScope {
public:
    explicit ModalScope(HWND owner);
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    HWND m_owner = nullptr;  // the owner's top-level window
    HWND m_focus = nullptr;
    bool m_wasEnabled = false;
};

}  // namespace win
}  // namespace zq

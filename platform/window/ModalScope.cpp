// Disabling a modal box's owner and giving it focus and activation back.
#include "platform/window/ModalScope.h"

#include "platform/window/WindowTree.h"

namespace zq {
namespace win {

ModalScope::ModalScope(HWND owner)
{
    Window* w = TopLevel(Find(owner));
    if (!w)
        return;
    m_owner = w->hwnd;
    m_focus = GetFocus();
    // The pointer and the keyboard belong to the box now.
    if (HWND capture = GetCapture())
        SendMessageA(capture, WM_CANCELMODE, 0, 0);
    if (GetCapture())
        ReleaseCapture();
    if (GetActiveWindow() == m_owner)
        SetActiveWindow(nullptr);
    m_wasEnabled = IsWindowEnabled(m_owner) != 0;
    if (m_wasEnabled)
        EnableWindow(m_owner, FALSE);
}

ModalScope::~ModalScope()
{
    if (!m_owner || !IsWindow(m_owner))
        return;
    if (m_wasEnabled)
        EnableWindow(m_owner, TRUE);
    if (IsWindowVisible(m_owner))
        SetActiveWindow(m_owner);
    if (m_focus && IsWindow(m_focus) && IsWindowEnabled(m_focus))
        SetFocus(m_focus);
}

}  // namespace win
}  // namespace zq

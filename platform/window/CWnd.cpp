// CWnd and the message maps: window creation, the framework's window calls,
// and the dispatch of a message through the maps.
#include "platform/window/CWnd.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi/Gdi.h"
#include "platform/window/Application.h"
#include "platform/window/Backend.h"
#include "platform/window/WindowTree.h"

using namespace zq::win;

namespace {

// The message that the object handles now, for Default().
struct CurrentMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
thread_local CurrentMessage t_current;

bool InRange(const AFX_MSGMAP_ENTRY& e, UINT id)
{
    return id >= e.nID && id <= e.nLastID;
}

}  // namespace

// ---- CCmdTarget

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxEntry_End, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(const AFX_MSGMAP* map, UINT message, UINT code, UINT id)
{
    for (; map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e && e->nKind != AfxEntry_End; ++e) {
            if (e->nMessage != message)
                continue;
            switch (e->nKind) {
            case AfxEntry_Message:
                return e;
            case AfxEntry_Command:
            case AfxEntry_Notify:
                if (e->nCode == code && InRange(*e, id))
                    return e;
                break;
            case AfxEntry_ReflectEx:
                if (e->nCode == code)
                    return e;
                break;
            default:
                break;
            }
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT id, int code, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    const AFX_MSGMAP_ENTRY* e = FindEntry(GetMessageMap(), message, static_cast<UINT>(code), id);
    if (!e || (e->nKind != AfxEntry_Command && e->nKind != AfxEntry_Notify))
        return FALSE;
    LRESULT notifyResult = 0;
    e->pfnThunk(this, wParam, lParam, result ? result : &notifyResult);
    return TRUE;
}

// ---- CWnd

void ZqWindowAccess::Destroyed(CWnd* object)
{
    object->m_hWnd = nullptr;
    object->PostNcDestroy();
}

void ZqWindowAccess::SetLayerOwned(CWnd* object, bool owned)
{
    object->m_layerOwned = owned;
}

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxEntry_End, nullptr}};
    static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (m_hWnd) {
        HWND hwnd = m_hWnd;
        // The object is going: the window's last messages get the default
        // handling only.
        SetObject(hwnd, nullptr);
        m_hWnd = nullptr;
        if (OnUiThread())
            ::DestroyWindow(hwnd);
    }
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    Window* w = Find(hwnd);
    return w ? w->object : nullptr;
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                    UINT id, LPVOID param)
{
    if (m_hWnd)
        return FALSE;
    HWND parentHwnd = parent ? parent->m_hWnd : nullptr;
    HWND hwnd = zq::win::Create(className ? className : "", windowName, style, exStyle, rect, parentHwnd,
                                static_cast<int>(id), this, param);
    return hwnd != nullptr;
}

BOOL CWnd::Create(LPCTSTR className, LPCTSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id,
                  LPVOID param)
{
    return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id, param);
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

BOOL CWnd::SubclassWindow(HWND hwnd)
{
    Window* w = Find(hwnd);
    if (!w || (m_hWnd && m_hWnd != hwnd))
        return FALSE;
    CWnd* previous = w->object;
    if (previous == this)
        return TRUE;
    SetObject(hwnd, this);
    if (previous) {
        previous->m_hWnd = nullptr;
        if (previous->m_layerOwned)
            DeleteLayerObject(previous);
    }
    PreSubclassWindow();
    return TRUE;
}

HWND CWnd::UnsubclassWindow()
{
    HWND hwnd = m_hWnd;
    Window* w = Find(hwnd);
    if (!w)
        return nullptr;
    CWnd* replacement = MakeLayerObject(w->kind);
    SetObject(hwnd, replacement);
    m_hWnd = nullptr;
    return hwnd;
}

BOOL CWnd::Attach(HWND hwnd)
{
    return SubclassWindow(hwnd);
}

HWND CWnd::Detach()
{
    return UnsubclassWindow();
}

void CWnd::PreSubclassWindow() {}

void CWnd::PostNcDestroy()
{
    if (m_layerOwned)
        DeleteLayerObject(this);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    CurrentMessage saved = t_current;
    t_current = {message, wParam, lParam};
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    t_current = saved;
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    LRESULT r = 0;
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam))
            return FALSE;
        if (result)
            *result = 0;
        return TRUE;
    }
    if (message == WM_NOTIFY) {
        if (!OnNotify(wParam, lParam, &r))
            return FALSE;
        if (result)
            *result = r;
        return TRUE;
    }
    if (message >= WM_CTLCOLORBTN && message <= WM_CTLCOLORSTATIC) {
        CWnd* child = FromHandle(reinterpret_cast<HWND>(lParam));
        if (child && child != this && child->OnChildNotify(message, wParam, lParam, &r)) {
            if (result)
                *result = r;
            return TRUE;
        }
    }
    const AFX_MSGMAP_ENTRY* e = FindEntry(GetMessageMap(), message, 0, 0);
    if (e && e->nKind == AfxEntry_Message) {
        r = e->pfnThunk(this, wParam, lParam, nullptr);
        if (result)
            *result = r;
        return TRUE;
    }
    if (message == WM_DRAWITEM) {
        OnDrawItem(static_cast<int>(wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
        if (result)
            *result = TRUE;
        return TRUE;
    }
    return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* w = Find(m_hWnd);
    return w ? ClassProc(w, message, wParam, lParam) : 0;
}

LRESULT CWnd::Default()
{
    return DefWindowProc(t_current.message, t_current.wParam, t_current.lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT id = LOWORD(wParam);
    int code = HIWORD(wParam);
    HWND control = reinterpret_cast<HWND>(lParam);
    if (control) {
        CWnd* child = FromHandle(control);
        if (child && child != this && child->OnChildNotify(WM_COMMAND, wParam, lParam, nullptr))
            return TRUE;
    }
    return OnCmdMsg(id, code, WM_COMMAND, wParam, lParam, nullptr);
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* result)
{
    NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header)
        return FALSE;
    CWnd* child = FromHandle(header->hwndFrom);
    if (child && child != this && child->OnChildNotify(WM_NOTIFY, 0, lParam, result))
        return TRUE;
    return OnCmdMsg(static_cast<UINT>(header->idFrom), static_cast<int>(header->code), WM_NOTIFY, 0, lParam, result);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    return ReflectChildNotify(message, wParam, lParam, result);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    const AFX_MSGMAP* map = GetMessageMap();
    switch (message) {
    case WM_COMMAND: {
        const AFX_MSGMAP_ENTRY* e = FindEntry(map, WM_REFLECT_BASE + WM_COMMAND, HIWORD(wParam), 0);
        if (!e)
            return FALSE;
        return e->pfnThunk(this, wParam, lParam, nullptr) != 0;
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
        const AFX_MSGMAP_ENTRY* e = FindEntry(map, WM_REFLECT_BASE + WM_CTLCOLOR, 0, 0);
        if (!e)
            return FALSE;
        UINT ctlType = message - WM_CTLCOLORBTN + 3;  // CTLCOLOR_BTN is 3
        LRESULT brush = e->pfnThunk(this, wParam, static_cast<LPARAM>(ctlType), nullptr);
        if (!brush)
            return FALSE;
        if (result)
            *result = brush;
        return TRUE;
    }
    default:
        return FALSE;
    }
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessageA(::GetDlgItem(m_hWnd, id), message, wParam, lParam);
}

void CWnd::SetWindowText(LPCTSTR text)
{
    ::SetWindowTextA(m_hWnd, text);
}

int CWnd::GetWindowText(LPTSTR buffer, int bufferSize) const
{
    return ::GetWindowTextA(m_hWnd, buffer, bufferSize);
}

void CWnd::GetWindowText(CString& text) const
{
    int length = ::GetWindowTextLengthA(m_hWnd);
    std::string bytes(static_cast<size_t>(length) + 1, '\0');
    int got = ::GetWindowTextA(m_hWnd, &bytes[0], length + 1);
    bytes.resize(static_cast<size_t>(std::max(got, 0)));
    text = CString(bytes);
}

int CWnd::GetWindowTextLength() const
{
    return ::GetWindowTextLengthA(m_hWnd);
}

CWnd* CWnd::GetDlgItem(int id) const
{
    return FromHandle(::GetDlgItem(m_hWnd, id));
}

void CWnd::SetDlgItemText(int id, LPCTSTR text)
{
    ::SetDlgItemTextA(m_hWnd, id, text);
}

int CWnd::GetDlgItemText(int id, LPTSTR buffer, int bufferSize) const
{
    return static_cast<int>(::GetDlgItemTextA(m_hWnd, id, buffer, bufferSize));
}

int CWnd::GetDlgItemText(int id, CString& text) const
{
    CWnd* item = GetDlgItem(id);
    if (!item) {
        text.Empty();
        return 0;
    }
    item->GetWindowText(text);
    return text.GetLength();
}

int CWnd::GetDlgCtrlID() const
{
    return ::GetDlgCtrlID(m_hWnd);
}

BOOL CWnd::EnableWindow(BOOL enable)
{
    return ::EnableWindow(m_hWnd, enable);
}

BOOL CWnd::IsWindowEnabled() const
{
    return ::IsWindowEnabled(m_hWnd);
}

BOOL CWnd::ShowWindow(int command)
{
    return ::ShowWindow(m_hWnd, command);
}

BOOL CWnd::IsWindowVisible() const
{
    return ::IsWindowVisible(m_hWnd);
}

BOOL CWnd::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

CWnd* CWnd::GetParent() const
{
    return FromHandle(::GetParent(m_hWnd));
}

DWORD CWnd::GetStyle() const
{
    return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE));
}

void CWnd::GetClientRect(LPRECT rect) const
{
    ::GetClientRect(m_hWnd, rect);
}

void CWnd::GetWindowRect(LPRECT rect) const
{
    ::GetWindowRect(m_hWnd, rect);
}

void CWnd::ClientToScreen(LPPOINT point) const
{
    ::ClientToScreen(m_hWnd, point);
}

void CWnd::ClientToScreen(LPRECT rect) const
{
    POINT o = {0, 0};
    ::ClientToScreen(m_hWnd, &o);
    ::OffsetRect(rect, o.x, o.y);
}

void CWnd::ScreenToClient(LPPOINT point) const
{
    ::ScreenToClient(m_hWnd, point);
}

void CWnd::ScreenToClient(LPRECT rect) const
{
    POINT o = {0, 0};
    ::ScreenToClient(m_hWnd, &o);
    ::OffsetRect(rect, o.x, o.y);
}

void CWnd::CenterWindow(CWnd* alternateOwner)
{
    Window* w = Find(m_hWnd);
    if (!w)
        return;
    RECT area;
    HWND owner = alternateOwner ? alternateOwner->m_hWnd : w->parent;
    Window* o = Find(owner);
    if (w->IsChild()) {
        ::GetClientRect(w->parent, &area);
    } else if (o && IsEffectivelyVisible(o) && !(o->style & WS_MINIMIZE)) {
        ::GetWindowRect(owner, &area);
    } else {
        SIZE screen = CurrentBackend().ScreenSize();
        SetRect(&area, 0, 0, screen.cx, screen.cy);
    }
    int width = w->rect.right - w->rect.left;
    int height = w->rect.bottom - w->rect.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    if (!w->IsChild()) {
        // Keep the window on the screen.
        SIZE screen = CurrentBackend().ScreenSize();
        x = std::max(0, std::min(x, static_cast<int>(screen.cx) - width));
        y = std::max(0, std::min(y, static_cast<int>(screen.cy) - height));
    }
    ::MoveWindow(m_hWnd, x, y, width, height, FALSE);
}

void CWnd::Invalidate(BOOL erase)
{
    ::InvalidateRect(m_hWnd, nullptr, erase);
}

void CWnd::InvalidateRect(LPCRECT rect, BOOL erase)
{
    ::InvalidateRect(m_hWnd, rect, erase);
}

void CWnd::ValidateRect(LPCRECT rect)
{
    ::ValidateRect(m_hWnd, rect);
}

void CWnd::UpdateWindow()
{
    ::UpdateWindow(m_hWnd);
}

BOOL CWnd::RedrawWindow(LPCRECT update, void*, UINT flags)
{
    return ::RedrawWindow(m_hWnd, update, nullptr, flags);
}

CWnd* CWnd::SetFocus()
{
    return FromHandle(::SetFocus(m_hWnd));
}

CWnd* CWnd::GetFocus()
{
    return FromHandle(::GetFocus());
}

CWnd* CWnd::SetCapture()
{
    return FromHandle(::SetCapture(m_hWnd));
}

CWnd* CWnd::GetCapture()
{
    return FromHandle(::GetCapture());
}

CWnd* CWnd::GetActiveWindow()
{
    return FromHandle(::GetActiveWindow());
}

CWnd* CWnd::WindowFromPoint(POINT point)
{
    return FromHandle(::WindowFromPoint(point));
}

// Without a caption the box carries the application's name, as in the framework.
int CWnd::MessageBox(LPCTSTR text, LPCTSTR caption, UINT type)
{
    return ::MessageBoxA(m_hWnd, text, caption ? caption : zq::ApplicationName(), type);
}

CDC* CWnd::GetDC()
{
    HDC dc = ::GetDC(m_hWnd);
    return dc ? CDC::FromHandle(dc) : nullptr;
}

int CWnd::ReleaseDC(CDC* dc)
{
    return dc ? ::ReleaseDC(m_hWnd, dc->m_hDC) : 0;
}

// ---- Default handlers

void CWnd::OnDestroy()
{
    Default();
}
void CWnd::OnClose()
{
    Default();
}
void CWnd::OnPaint()
{
    Default();
}
BOOL CWnd::OnEraseBkgnd(CDC*)
{
    return static_cast<BOOL>(Default());
}
HCURSOR CWnd::OnQueryDragIcon()
{
    return reinterpret_cast<HCURSOR>(Default());
}
void CWnd::OnSysCommand(UINT, LPARAM)
{
    Default();
}
void CWnd::OnSetFocus(CWnd*)
{
    Default();
}
void CWnd::OnKillFocus(CWnd*)
{
    Default();
}
void CWnd::OnCaptureChanged(CWnd*)
{
    Default();
}
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT)
{
    return static_cast<BOOL>(Default());
}
void CWnd::OnMouseMove(UINT, CPoint)
{
    Default();
}
void CWnd::OnLButtonDown(UINT, CPoint)
{
    Default();
}
void CWnd::OnLButtonDblClk(UINT, CPoint)
{
    Default();
}
void CWnd::OnSysColorChange()
{
    Default();
}
void CWnd::OnActivate(UINT, CWnd*, BOOL)
{
    Default();
}
void CWnd::OnEnable(BOOL)
{
    Default();
}
void CWnd::OnCancelMode()
{
    Default();
}

void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT drawItem)
{
    if (drawItem) {
        CWnd* child = FromHandle(drawItem->hwndItem);
        if (child && child != this &&
            child->OnChildNotify(WM_DRAWITEM, static_cast<WPARAM>(drawItem->CtlID), reinterpret_cast<LPARAM>(drawItem),
                                 nullptr))
            return;
    }
    Default();
}

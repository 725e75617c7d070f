// The standard controls: their objects and their class procedure.
#include "platform/window/Controls.h"

#include <algorithm>
#include <cstring>

#include "platform/window/Backend.h"
#include "platform/window/WindowTree.h"

using namespace zq::win;

namespace {

BOOL CreateControl(CWnd* wnd, LPCSTR className, LPCTSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return wnd->CreateEx(0, className, text, style | WS_CHILD, rect, parent, id);
}

int CopyText(const CString& text, LPSTR buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    int n = std::min(text.GetLength(), size - 1);
    memcpy(buffer, text.GetString(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

// Sorted combo boxes order their items without regard to case, as Windows does.
bool SortsBefore(const CString& a, const CString& b)
{
    return a.CompareNoCase(b) < 0;
}

bool IsCheckLike(const Window* w)
{
    UINT type = w->style & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
           type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

void Click(Window* w)
{
    HWND hwnd = w->hwnd;
    UINT type = w->style & BS_TYPEMASK;
    if (type == BS_AUTOCHECKBOX) {
        w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        CurrentBackend().Changed(w, Change::Check);
    } else if (type == BS_AUTORADIOBUTTON) {
        w->check = BST_CHECKED;
        CurrentBackend().Changed(w, Change::Check);
    }
    HWND parent = w->parent;
    int id = w->id;
    if (parent)
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
}

void SetPushed(Window* w, bool pushed)
{
    if (w->pushed == pushed)
        return;
    w->pushed = pushed;
    InvalidateRect(w->hwnd, nullptr, TRUE);
}

// The button's own messages: its check, state and style, and BM_CLICK.
LRESULT ButtonMessage(Window* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = w->hwnd;
    switch (message) {
    case BM_GETCHECK:
        return w->check;
    case BM_SETCHECK:
        if (IsCheckLike(w) && w->check != static_cast<int>(wParam)) {
            w->check = static_cast<int>(wParam);
            CurrentBackend().Changed(w, Change::Check);
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    case BM_GETSTATE:
        return w->check | (w->pushed ? BST_PUSHED : 0) | (GetFocus() == hwnd ? BST_FOCUS : 0);
    case BM_SETSTATE:
        SetPushed(w, wParam != 0);
        return 0;
    case BM_SETSTYLE:
        w->style = (w->style & 0xFFFF0000u) | LOWORD(wParam);
        CurrentBackend().Changed(w, Change::Style);
        if (lParam)
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case BM_CLICK:
        if (IsEffectivelyEnabled(w))
            Click(w);
        return 0;
    default:
        return -2;
    }
}

// The mouse on a button: pressed while the left button is down over it,
// clicked when the button comes up over it.
LRESULT ButtonMouse(Window* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = w->hwnd;
    switch (message) {
    case WM_LBUTTONDBLCLK:
        // Owner-drawn buttons report a double click instead of a second press.
        if ((w->style & BS_TYPEMASK) == BS_OWNERDRAW) {
            if (w->parent)
                SendMessageA(w->parent, WM_COMMAND, MAKEWPARAM(w->id, BN_DOUBLECLICKED),
                             reinterpret_cast<LPARAM>(hwnd));
            return 0;
        }
        // Other buttons take it as a press.
        [[fallthrough]];
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        if (!Find(hwnd))
            return 0;
        SetCapture(hwnd);
        if ((w = Find(hwnd)) != nullptr)
            SetPushed(w, true);
        return 0;
    case WM_MOUSEMOVE:
        if (GetCapture() == hwnd && (wParam & MK_LBUTTON)) {
            RECT client;
            GetClientRect(hwnd, &client);
            SetPushed(w, PtInRect(&client, CPoint(lParam)) != 0);
        }
        return 0;
    case WM_LBUTTONUP: {
        if (GetCapture() != hwnd)
            return 0;
        bool wasPushed = w->pushed;
        RECT client;
        GetClientRect(hwnd, &client);
        bool inside = PtInRect(&client, CPoint(lParam)) != 0;
        SetPushed(w, false);
        ReleaseCapture();
        if ((w = Find(hwnd)) != nullptr && wasPushed && inside)
            Click(w);
        return 0;
    }
    case WM_CAPTURECHANGED:
        SetPushed(w, false);
        return 0;
    default:
        return -2;
    }
}

LRESULT ButtonProc(Window* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT r = ButtonMessage(w, message, wParam, lParam);
    if (r == -2)
        r = ButtonMouse(w, message, wParam, lParam);
    if (r != -2)
        return r;
    HWND hwnd = w->hwnd;
    switch (message) {
    // The space bar presses the focused button and clicks it when released.
    case WM_KEYDOWN:
        if (wParam == VK_SPACE)
            SetPushed(w, true);
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && w->pushed) {
            SetPushed(w, false);
            Click(w);
        }
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_SETTEXT:
        InvalidateRect(hwnd, nullptr, TRUE);
        return -2;  // go on with the common handling
    default:
        return -2;
    }
}

// The combo box's list: items added in place (sorted or at the end) or at an
// index, deleted, emptied. The selection follows its item.
LRESULT ComboAddString(Window* w, LPCSTR added)
{
    CString text(added);
    int index = static_cast<int>(w->items.size());
    if (w->style & CBS_SORT) {
        auto it = std::upper_bound(w->items.begin(), w->items.end(), text, SortsBefore);
        index = static_cast<int>(it - w->items.begin());
    }
    w->items.insert(w->items.begin() + index, text);
    if (w->curSel >= index)
        ++w->curSel;
    CurrentBackend().Changed(w, Change::Items);
    return index;
}

LRESULT ComboInsertString(Window* w, int index, LPCSTR text)
{
    const int count = static_cast<int>(w->items.size());
    if (index == -1)
        index = count;
    if (index < 0 || index > count)
        return CB_ERR;
    w->items.insert(w->items.begin() + index, CString(text));
    if (w->curSel >= index)
        ++w->curSel;
    CurrentBackend().Changed(w, Change::Items);
    return index;
}

LRESULT ComboDeleteString(Window* w, int index)
{
    const int count = static_cast<int>(w->items.size());
    if (index < 0 || index >= count)
        return CB_ERR;
    w->items.erase(w->items.begin() + index);
    if (w->curSel == index)
        w->curSel = -1;
    else if (w->curSel > index)
        --w->curSel;
    CurrentBackend().Changed(w, Change::Items);
    return count - 1;
}

LRESULT ComboResetContent(Window* w)
{
    // Empties the list and the edit field.
    w->items.clear();
    w->curSel = -1;
    w->text.Empty();
    CurrentBackend().Changed(w, Change::Items);
    CurrentBackend().Changed(w, Change::Text);
    return TRUE;
}

// Selecting an item shows its text in the edit field; an index outside the
// list clears the selection.
LRESULT ComboSetCurSel(Window* w, int index)
{
    if (index < 0 || index >= static_cast<int>(w->items.size())) {
        w->curSel = -1;
        CurrentBackend().Changed(w, Change::Items);
        return CB_ERR;
    }
    w->curSel = index;
    w->text = w->items[static_cast<size_t>(index)];
    CurrentBackend().Changed(w, Change::Items);
    CurrentBackend().Changed(w, Change::Text);
    return index;
}

LRESULT ComboGetLBText(const Window* w, int index, char* buffer)
{
    if (index < 0 || index >= static_cast<int>(w->items.size()) || !buffer)
        return CB_ERR;
    const CString& item = w->items[static_cast<size_t>(index)];
    // The caller's buffer holds the item as CB_GETLBTEXTLEN gave it.
    memcpy(buffer, item.GetString(), static_cast<size_t>(item.GetLength()) + 1);
    return item.GetLength();
}

// The first item after `start` with the text, without regard to case,
// going round to the top of the list.
LRESULT ComboFindStringExact(const Window* w, int start, LPCSTR text)
{
    const int count = static_cast<int>(w->items.size());
    if (!text || count == 0)
        return CB_ERR;
    if (start < -1 || start >= count)
        start = -1;
    for (int k = 1; k <= count; ++k) {
        int i = (start + k) % count;
        if (w->items[static_cast<size_t>(i)].CompareNoCase(text) == 0)
            return i;
    }
    return CB_ERR;
}

LRESULT ComboProc(Window* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    const int count = static_cast<int>(w->items.size());
    const int index = static_cast<int>(wParam);
    switch (message) {
    case CB_ADDSTRING:
        return ComboAddString(w, reinterpret_cast<LPCSTR>(lParam));
    case CB_INSERTSTRING:
        return ComboInsertString(w, index, reinterpret_cast<LPCSTR>(lParam));
    case CB_DELETESTRING:
        return ComboDeleteString(w, index);
    case CB_RESETCONTENT:
        return ComboResetContent(w);
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return w->curSel;
    case CB_SETCURSEL:
        return ComboSetCurSel(w, index);
    case CB_GETLBTEXTLEN:
        if (index < 0 || index >= count)
            return CB_ERR;
        return w->items[static_cast<size_t>(index)].GetLength();
    case CB_GETLBTEXT:
        return ComboGetLBText(w, index, reinterpret_cast<char*>(lParam));
    case CB_FINDSTRINGEXACT:
        return ComboFindStringExact(w, index, reinterpret_cast<LPCSTR>(lParam));
    default:
        return -2;
    }
}

LRESULT ProgressProc(Window* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto changed = [w] {
        CurrentBackend().Changed(w, Change::Progress);
        InvalidateRect(w->hwnd, nullptr, TRUE);
    };
    auto clamp = [w](int pos) { return std::max(w->rangeMin, std::min(pos, w->rangeMax)); };
    switch (message) {
    case PBM_SETRANGE: {
        LRESULT old = MAKELONG(w->rangeMin, w->rangeMax);
        w->rangeMin = LOWORD(lParam);
        w->rangeMax = HIWORD(lParam);
        w->pos = clamp(w->pos);
        changed();
        return old;
    }
    case PBM_SETRANGE32: {
        LRESULT old = MAKELONG(w->rangeMin, w->rangeMax);
        w->rangeMin = static_cast<int>(wParam);
        w->rangeMax = static_cast<int>(lParam);
        w->pos = clamp(w->pos);
        changed();
        return old;
    }
    case PBM_GETRANGE:
        return wParam ? w->rangeMin : w->rangeMax;
    case PBM_SETPOS: {
        int old = w->pos;
        w->pos = clamp(static_cast<int>(wParam));
        changed();
        return old;
    }
    case PBM_DELTAPOS: {
        int old = w->pos;
        w->pos = clamp(w->pos + static_cast<int>(wParam));
        changed();
        return old;
    }
    case PBM_GETPOS:
        return w->pos;
    case PBM_SETBKCOLOR: {
        COLORREF old = w->bkColor;
        w->bkColor = static_cast<COLORREF>(lParam);
        changed();
        return old;
    }
    case PBM_SETBARCOLOR: {
        COLORREF old = w->barColor;
        w->barColor = static_cast<COLORREF>(lParam);
        changed();
        return old;
    }
    default:
        return -2;
    }
}

LRESULT ToolTipProc(Window* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case TTM_ACTIVATE:
        w->tipActive = wParam != 0;
        return 0;
    case TTM_SETMAXTIPWIDTH: {
        int old = w->maxTipWidth;
        w->maxTipWidth = static_cast<int>(lParam);
        return old;
    }
    case TTM_GETMAXTIPWIDTH:
        return w->maxTipWidth;
    case TTM_RELAYEVENT:
        return 0;
    default:
        return -2;
    }
}

}  // namespace

namespace zq {
namespace win {

namespace {

// The procedure of the window's control kind; -2 when the message is not
// the control's own and the common handling goes on.
LRESULT ControlProc(Window* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (w->kind) {
    case WindowKind::Button:
        return ButtonProc(w, message, wParam, lParam);
    case WindowKind::ComboBox:
        return ComboProc(w, message, wParam, lParam);
    case WindowKind::Progress:
        return ProgressProc(w, message, wParam, lParam);
    case WindowKind::ToolTip:
        return ToolTipProc(w, message, wParam, lParam);
    default:
        return -2;
    }
}

LRESULT SetIcon(Window* w, WPARAM which, HICON icon)
{
    HICON old;
    if (which == ICON_BIG) {
        old = w->iconBig;
        w->iconBig = icon;
    } else {
        old = w->iconSmall;
        w->iconSmall = icon;
    }
    CurrentBackend().Changed(w, Change::Icon);
    return reinterpret_cast<LRESULT>(old);
}

// The window menu's commands: close, minimize, restore.
void SysCommand(HWND hwnd, WPARAM command)
{
    if ((command & 0xFFF0) == SC_CLOSE)
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
    else if ((command & 0xFFF0) == SC_MINIMIZE)
        ShowWindow(hwnd, SW_MINIMIZE);
    else if ((command & 0xFFF0) == SC_RESTORE)
        ShowWindow(hwnd, SW_RESTORE);
}

// What every window of the layer does with a message its control did not
// take: its text, font and icons, closing, painting, the cursor, capture.
LRESULT CommonProc(Window* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = w->hwnd;
    switch (message) {
    case WM_SETTEXT:
        w->text = reinterpret_cast<LPCSTR>(lParam);
        CurrentBackend().Changed(w, Change::Text);
        return TRUE;
    case WM_GETTEXT:
        return CopyText(w->text, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
        return w->text.GetLength();
    case WM_SETFONT:
        w->font = reinterpret_cast<HFONT>(wParam);
        if (lParam)
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(w->font);
    case WM_SETICON:
        return SetIcon(w, wParam, reinterpret_cast<HICON>(lParam));
    case WM_CLOSE:
        // A dialog closes as Cancel; another window is destroyed.
        if (w->kind == WindowKind::Dialog)
            SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
        else
            DestroyWindow(hwnd);
        return 0;
    case WM_PAINT:
        return DefaultPaint(w);
    case WM_ERASEBKGND:
        return DefaultErase(w, reinterpret_cast<HDC>(wParam));
    case WM_SETCURSOR:
        // The parent may choose the cursor first, as on Windows.
        if (w->IsChild() && w->parent && SendMessageA(w->parent, WM_SETCURSOR, wParam, lParam))
            return TRUE;
        return FALSE;
    case WM_CANCELMODE:
        // The default handling ends the window's mouse capture, as on Windows.
        if (GetCapture() == hwnd)
            ReleaseCapture();
        return 0;
    case WM_SYSCOMMAND:
        SysCommand(hwnd, wParam);
        return 0;
    default:
        // WM_QUERYDRAGICON, WM_NOTIFY, WM_COMMAND, the WM_CTLCOLOR messages
        // and the rest: nothing to do, 0.
        return 0;
    }
}

}  // namespace

// Returns -2 from a control procedure when the common handling goes on.
LRESULT ClassProc(Window* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT r = ControlProc(w, message, wParam, lParam);
    if (r != -2)
        return r;
    if (!(w = Find(w->hwnd)))
        return 0;
    return CommonProc(w, message, wParam, lParam);
}

CWnd* MakeLayerObject(WindowKind kind)
{
    CWnd* object;
    switch (kind) {
    case WindowKind::Button:
        object = new CButton;
        break;
    case WindowKind::Static:
        object = new CStatic;
        break;
    case WindowKind::ComboBox:
        object = new CComboBox;
        break;
    case WindowKind::Edit:
        object = new CEdit;
        break;
    case WindowKind::Progress:
        object = new CProgressCtrl;
        break;
    case WindowKind::ToolTip:
        object = new CToolTipCtrl;
        break;
    default:
        object = new CWnd;
        break;
    }
    ZqWindowAccess::SetLayerOwned(object, true);
    return object;
}

}  // namespace win
}  // namespace zq

// ---- CButton

BEGIN_MESSAGE_MAP(CButton, CWnd)
END_MESSAGE_MAP()

BOOL CButton::Create(LPCTSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, WC_BUTTON, caption, style, rect, parent, id);
}

int CButton::GetCheck() const
{
    return static_cast<int>(::SendMessageA(m_hWnd, BM_GETCHECK, 0, 0));
}
void CButton::SetCheck(int check)
{
    ::SendMessageA(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(check), 0);
}
UINT CButton::GetState() const
{
    return static_cast<UINT>(::SendMessageA(m_hWnd, BM_GETSTATE, 0, 0));
}
void CButton::SetState(BOOL pushed)
{
    ::SendMessageA(m_hWnd, BM_SETSTATE, pushed, 0);
}

void CButton::SetButtonStyle(UINT style, BOOL redraw)
{
    ::SendMessageA(m_hWnd, BM_SETSTYLE, style, redraw);
}

void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_DRAWITEM) {
        DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
        return TRUE;
    }
    return CWnd::OnChildNotify(message, wParam, lParam, result);
}

// ---- CStatic

BEGIN_MESSAGE_MAP(CStatic, CWnd)
END_MESSAGE_MAP()

BOOL CStatic::Create(LPCTSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, WC_STATIC, text, style, rect, parent, id);
}

// ---- CEdit

BEGIN_MESSAGE_MAP(CEdit, CWnd)
END_MESSAGE_MAP()

BOOL CEdit::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, WC_EDIT, "", style, rect, parent, id);
}

// ---- CComboBox

BEGIN_MESSAGE_MAP(CComboBox, CWnd)
END_MESSAGE_MAP()

BOOL CComboBox::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, WC_COMBOBOX, "", style, rect, parent, id);
}

int CComboBox::AddString(LPCTSTR text)
{
    return static_cast<int>(::SendMessageA(m_hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text ? text : "")));
}

void CComboBox::ResetContent()
{
    ::SendMessageA(m_hWnd, CB_RESETCONTENT, 0, 0);
}
int CComboBox::GetCount() const
{
    return static_cast<int>(::SendMessageA(m_hWnd, CB_GETCOUNT, 0, 0));
}
int CComboBox::GetCurSel() const
{
    return static_cast<int>(::SendMessageA(m_hWnd, CB_GETCURSEL, 0, 0));
}

int CComboBox::SetCurSel(int index)
{
    return static_cast<int>(::SendMessageA(m_hWnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0));
}

int CComboBox::GetLBText(int index, LPTSTR buffer) const
{
    return static_cast<int>(
        ::SendMessageA(m_hWnd, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)));
}

void CComboBox::GetLBText(int index, CString& text) const
{
    int length = GetLBTextLen(index);
    if (length < 0) {
        text.Empty();
        return;
    }
    std::string bytes(static_cast<size_t>(length) + 1, '\0');
    GetLBText(index, &bytes[0]);
    bytes.resize(static_cast<size_t>(length));
    text = CString(bytes);
}

int CComboBox::GetLBTextLen(int index) const
{
    return static_cast<int>(::SendMessageA(m_hWnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0));
}

int CComboBox::FindStringExact(int startAfter, LPCTSTR text) const
{
    return static_cast<int>(
        ::SendMessageA(m_hWnd, CB_FINDSTRINGEXACT, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(text)));
}

// ---- CProgressCtrl

BEGIN_MESSAGE_MAP(CProgressCtrl, CWnd)
END_MESSAGE_MAP()

BOOL CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, PROGRESS_CLASS, "", style, rect, parent, id);
}

void CProgressCtrl::SetRange(short lower, short upper)
{
    ::SendMessageA(m_hWnd, PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}

int CProgressCtrl::SetPos(int pos)
{
    return static_cast<int>(::SendMessageA(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(pos), 0));
}
int CProgressCtrl::GetPos() const
{
    return static_cast<int>(::SendMessageA(m_hWnd, PBM_GETPOS, 0, 0));
}
COLORREF CProgressCtrl::SetBkColor(COLORREF color)
{
    return static_cast<COLORREF>(::SendMessageA(m_hWnd, PBM_SETBKCOLOR, 0, color));
}

// ---- CToolTipCtrl

BEGIN_MESSAGE_MAP(CToolTipCtrl, CWnd)
END_MESSAGE_MAP()

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style)
{
    // A tool tip is a pop-up owned by its parent; it goes with the parent.
    RECT none = {0, 0, 0, 0};
    return CreateEx(WS_EX_TOOLWINDOW, TOOLTIPS_CLASS, nullptr, WS_POPUP | style, none, parent, 0);
}

void CToolTipCtrl::Activate(BOOL activate)
{
    ::SendMessageA(m_hWnd, TTM_ACTIVATE, activate, 0);
}
int CToolTipCtrl::SetMaxTipWidth(int width)
{
    return static_cast<int>(::SendMessageA(m_hWnd, TTM_SETMAXTIPWIDTH, 0, width));
}
int CToolTipCtrl::GetMaxTipWidth() const
{
    return static_cast<int>(::SendMessageA(m_hWnd, TTM_GETMAXTIPWIDTH, 0, 0));
}
void CToolTipCtrl::RelayEvent(LPMSG msg)
{
    ::SendMessageA(m_hWnd, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
}

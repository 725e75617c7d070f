// CDialog: creation from a template, DoModal and EndDialog, and the dialog
// data exchange.
#include "platform/window/CDialog.h"

#include <cstring>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiResources.h"
#include "platform/window/Application.h"
#include "platform/window/Backend.h"
#include "platform/window/DialogTemplate.h"
#include "platform/window/ModalScope.h"
#include "platform/window/UiThreadCalls.h"
#include "platform/window/WindowTree.h"

using namespace zq::win;

// ---- Data exchange

HWND CDataExchange::PrepareCtrl(int id)
{
    return ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), id);
}

void CDataExchange::Fail()
{
    m_failed = true;
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (control.GetSafeHwnd())
        return;
    HWND item = pDX->PrepareCtrl(id);
    if (!item || !control.SubclassWindow(item))
        pDX->Fail();
}

void DDX_Check(CDataExchange* pDX, int id, int& value)
{
    HWND item = pDX->PrepareCtrl(id);
    if (!item) {
        pDX->Fail();
        return;
    }
    if (pDX->m_bSaveAndValidate) {
        value = static_cast<int>(::SendMessageA(item, BM_GETCHECK, 0, 0));
    } else {
        ::SendMessageA(item, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    }
}

// ---- CDialog

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog() = default;

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog()
{
    if (GetSafeHwnd()) {
        HWND hwnd = m_hWnd;
        SetObject(hwnd, nullptr);
        m_hWnd = nullptr;
        ::DestroyWindow(hwnd);
    }
    if (m_font)
        DeleteObject(m_font);
}

namespace {

// The template's font, its point size as a pixel height at 96 dots per inch.
HFONT TemplateFont(const zq::DialogTemplate& t)
{
    int height = -(t.pointSize * 96 + 36) / 72;
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, t.fontName.c_str());
}

// One control of the template, a child of the dialog in the dialog's font.
// A static icon control names its icon as "#id" in place of a text. An item
// that cannot be made is left out.
void CreateTemplateItem(const zq::DialogItemTemplate& item, HWND dialog, HFONT font)
{
    RECT r = zq::DialogUnitsToPixels(item.x, item.y, item.cx, item.cy);
    WindowKind kind = KindOfClass(item.className);
    std::string text = item.text;
    HICON icon = nullptr;
    if (kind == WindowKind::Static && (item.style & 0x1F) == SS_ICON && !text.empty() && text[0] == '#') {
        icon = LoadIconA(nullptr, MAKEINTRESOURCEA(atoi(text.c_str() + 1)));
        text.clear();
    }
    CWnd* object = MakeLayerObject(kind);
    HWND child = zq::win::Create(item.className, text.c_str(), item.style | WS_CHILD, item.exStyle, r, dialog, item.id,
                                 object, nullptr);
    if (!child) {
        delete object;
        return;
    }
    ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (icon)
        ::SendMessageA(child, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
}

// The focus to the first visible, enabled tab stop among the dialog's
// children, where WM_INITDIALOG leaves the choice to the dialog.
void FocusFirstTabStop(HWND dialog)
{
    Window* w = Find(dialog);
    for (HWND c : w ? w->children : std::vector<HWND>()) {
        Window* cw = Find(c);
        if (cw && cw->IsChild() && (cw->style & WS_TABSTOP) && (cw->style & WS_VISIBLE) && !(cw->style & WS_DISABLED)) {
            ::SetFocus(c);
            return;
        }
    }
}

}  // namespace

BOOL CDialog::CreateFromTemplate(HWND owner, bool modal)
{
    const zq::DialogTemplate* t = zq::FindDialogTemplate(m_nIDTemplate);
    if (!t || GetSafeHwnd())
        return FALSE;
    RECT place = zq::DialogUnitsToPixels(t->x, t->y, t->cx, t->cy);
    if (owner) {
        POINT o = {0, 0};
        ::ClientToScreen(owner, &o);
        OffsetRect(&place, o.x, o.y);
    }
    // The window is shown after WM_INITDIALOG, as on Windows.
    DWORD style = (t->style & ~(WS_CHILD | WS_VISIBLE)) | WS_POPUP;
    if (!CWnd::CreateEx(t->exStyle, WC_DIALOG, t->caption.c_str(), style, place, CWnd::FromHandle(owner), 0))
        return FALSE;
    HWND hwnd = m_hWnd;
    if (!m_font)
        m_font = TemplateFont(*t);
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    for (const zq::DialogItemTemplate& item : t->items)
        CreateTemplateItem(item, hwnd, m_font);
    BOOL focusDefault = static_cast<BOOL>(SendMessage(WM_INITDIALOG, 0, 0));
    if (!::IsWindow(hwnd))
        return FALSE;
    if (t->style & DS_CENTER)
        CenterWindow();
    if (focusDefault && !::GetFocus())
        FocusFirstTabStop(hwnd);
    if (modal || (t->style & WS_VISIBLE))
        ::ShowWindow(hwnd, SW_SHOW);
    return ::IsWindow(hwnd);
}

INT_PTR CDialog::DoModal()
{
    // Asked for by a worker, the dialog is the UI thread's, as a box is.
    if (!zq::win::OnUiThread())
        return zq::win::OnUiThreadOr<INT_PTR>(-1, [this] { return DoModal(); });
    HWND owner = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr;
    if (!owner) {
        CWnd* main = zq::ApplicationMainWindow();
        if (main && main != this)
            owner = main->GetSafeHwnd();
    }
    if (!::IsWindow(owner))
        owner = nullptr;
    ModalScope scope(owner);
    if (!CreateFromTemplate(owner, true)) {
        if (GetSafeHwnd())
            ::DestroyWindow(m_hWnd);
        return -1;
    }
    HWND hwnd = m_hWnd;
    INT_PTR result = RunModalLoop(hwnd);
    if (::IsWindow(hwnd))
        ::DestroyWindow(hwnd);
    return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_nIDTemplate = templateId;
    m_pParentWnd = parent;
    return CreateFromTemplate(parent ? parent->GetSafeHwnd() : nullptr, false);
}

void CDialog::EndDialog(int result)
{
    EndModalLoop(m_hWnd, result);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return dx.m_failed ? FALSE : TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::PostNcDestroy() {}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_INITDIALOG) {
        BOOL r = OnInitDialog();
        if (result)
            *result = r;
        return TRUE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

void CDialog::NextDlgCtrl()
{
    Window* w = Find(m_hWnd);
    if (!w)
        return;
    std::vector<HWND> stops;
    for (HWND c : w->children) {
        Window* cw = Find(c);
        if (cw && cw->IsChild() && (cw->style & WS_TABSTOP) && (cw->style & WS_VISIBLE) && !(cw->style & WS_DISABLED))
            stops.push_back(c);
    }
    if (stops.empty())
        return;
    HWND focus = ::GetFocus();
    size_t next = 0;
    for (size_t i = 0; i < stops.size(); ++i)
        if (stops[i] == focus)
            next = (i + 1) % stops.size();
    ::SetFocus(stops[next]);
}

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    // The dialog keys: Escape is Cancel, Return the default button (or OK),
    // Tab the next control.
    if (!msg || msg->message != WM_KEYDOWN)
        return FALSE;
    HWND hwnd = m_hWnd;
    if (msg->hwnd != hwnd && !(::IsWindow(msg->hwnd) && zq::win::InSubtreeOf(hwnd, msg->hwnd)))
        return FALSE;
    switch (msg->wParam) {
    case VK_ESCAPE: {
        HWND cancel = ::GetDlgItem(hwnd, IDCANCEL);
        if (cancel && !::IsWindowEnabled(cancel))
            return TRUE;
        SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return TRUE;
    }
    case VK_RETURN: {
        int id = IDOK;
        Window* w = Find(hwnd);
        for (HWND c : w ? w->children : std::vector<HWND>()) {
            Window* cw = Find(c);
            if (cw && cw->kind == WindowKind::Button && (cw->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                id = cw->id;
                break;
            }
        }
        HWND button = ::GetDlgItem(hwnd, id);
        if (button && !::IsWindowEnabled(button))
            return TRUE;
        SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return TRUE;
    }
    case VK_TAB:
        NextDlgCtrl();
        return TRUE;
    default:
        return FALSE;
    }
}

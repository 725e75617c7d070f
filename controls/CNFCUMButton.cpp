// The flat owner-drawn button: its pictures and colours, the hover tracking
// with a mouse capture, and its painting.
#include "controls/CNFCUMButton.h"

#include <cstring>

#include "platform/gdi/GdiResources.h"
#include "platform/shell/Shell.h"
#include "platform/threads/Threads.h"

namespace {

// Half of a difference, rounded down (also when it is negative).
int FloorHalf(int v)
{
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}

// A caption aligned to a side keeps this far from it, when the button is
// wide enough.
const int CAPTION_MARGIN = 10;
// A picture beside or above the caption keeps this far from the button's
// edge. The caption's room moves by the picture's width and this margin, so
// it begins where a picture on its left ends.
const int IMAGE_MARGIN = 3;

}  // namespace

BEGIN_MESSAGE_MAP(CNFCUMButton, CButton)
    ON_WM_CAPTURECHANGED()
    ON_WM_SETCURSOR()
    ON_WM_SETFOCUS()
    ON_WM_KILLFOCUS()
    ON_WM_MOUSEMOVE()
    ON_WM_SYSCOLORCHANGE()
    ON_WM_ACTIVATE()
    ON_WM_ENABLE()
    ON_WM_CANCELMODE()
    ON_WM_CTLCOLOR_REFLECT()
    ON_WM_LBUTTONDOWN()
    ON_WM_ERASEBKGND()
    ON_CONTROL_REFLECT_EX(BN_CLICKED, &CNFCUMButton::OnClickedReflect)
END_MESSAGE_MAP()

CNFCUMButton::CNFCUMButton()
    : m_Transparent(0),
      m_Hovered(0),
      m_Pressed(0),
      m_Focused(0),
      m_Disabled(0),
      m_ImagePosition(IMAGE_LEFT),
      m_CaptionAlign(CAPTION_HCENTER | CAPTION_VCENTER),
      m_HoverBorder(0),
      m_Flat(1),
      m_AutoRepeat(0),
      m_RepeatPeriod(100),
      m_OldBackgroundBitmap(nullptr),
      m_AltCursor(nullptr),
      m_Cursor(nullptr),
      m_DefaultButton(0),
      m_CheckMode(0),
      m_UseAltCursor(0),
      m_Checked(0)
{
    m_StateColors[0] = ::GetSysColor(COLOR_BTNFACE);
    m_StateColors[1] = ::GetSysColor(COLOR_BTNTEXT);
    m_StateColors[2] = ::GetSysColor(COLOR_BTNFACE);
    m_StateColors[3] = ::GetSysColor(COLOR_BTNTEXT);
    FreeImages(0);
    std::memset(m_URL, 0, sizeof(m_URL));
}

CNFCUMButton::~CNFCUMButton()
{
    if (m_BackgroundDC.m_hDC && m_OldBackgroundBitmap)
        m_BackgroundDC.SelectObject(m_OldBackgroundBitmap);
    FreeImages(1);
    if (m_Cursor)
        ::DestroyCursor(m_Cursor);
    if (m_AltCursor)
        ::DestroyCursor(m_AltCursor);
}

// ---- Configuration

void CNFCUMButton::Repaint()
{
    if (GetSafeHwnd())
        Invalidate(TRUE);
}

void CNFCUMButton::SetHoverBorder(int hoverBorder)
{
    m_HoverBorder = hoverBorder;
}

void CNFCUMButton::SetCaptionAlign(int flags)
{
    m_CaptionAlign = flags;
    Repaint();
}

void CNFCUMButton::SetImagePosition(int position)
{
    if (position >= IMAGE_LEFT && position <= IMAGE_RIGHT)
        m_ImagePosition = position;
    Repaint();
}

int CNFCUMButton::SetStateColor(BYTE index, COLORREF colour, int repaint)
{
    if (index > 3)
        return 3;
    m_StateColors[index] = colour;
    if (repaint == 1)
        Repaint();
    return 0;
}

int CNFCUMButton::LoadImages(UINT hotId, COLORREF hotTransparent, UINT normalId, COLORREF normalTransparent)
{
    HINSTANCE module = AfxGetResourceHandle();
    HBITMAP hot = static_cast<HBITMAP>(
        ::LoadImageA(module, MAKEINTRESOURCE(hotId), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    HBITMAP normal = static_cast<HBITMAP>(
        ::LoadImageA(module, MAKEINTRESOURCE(normalId), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    return SetImages(hot, hotTransparent, normal, normalTransparent);
}

int CNFCUMButton::SetImages(HBITMAP hot, COLORREF hotTransparent, HBITMAP normal, COLORREF normalTransparent)
{
    FreeImages(1);
    if (hot) {
        BITMAP bm;
        m_BitmapHot.handle = hot;
        m_BitmapHot.transparent = hotTransparent;
        if (::GetObjectA(hot, sizeof(bm), &bm) == 0) {
            FreeImages(1);
            // The button owns the second bitmap too; it must not be lost.
            if (normal)
                ::DeleteObject(normal);
            return 1;
        }
        m_BitmapHot.width = static_cast<DWORD>(bm.bmWidth);
        m_BitmapHot.height = static_cast<DWORD>(bm.bmHeight);
        m_BitmapHot.mask = CreateMaskBitmap(hot, m_BitmapHot.width, m_BitmapHot.height, hotTransparent);
        if (!m_BitmapHot.mask) {
            FreeImages(1);
            if (normal)
                ::DeleteObject(normal);
            return 2;
        }
        if (normal) {
            m_BitmapNormal.handle = normal;
            m_BitmapNormal.transparent = normalTransparent;
            if (::GetObjectA(normal, sizeof(bm), &bm) == 0) {
                FreeImages(1);
                return 1;
            }
            m_BitmapNormal.width = static_cast<DWORD>(bm.bmWidth);
            m_BitmapNormal.height = static_cast<DWORD>(bm.bmHeight);
            m_BitmapNormal.mask = CreateMaskBitmap(normal, m_BitmapNormal.width, m_BitmapNormal.height,
                                                   normalTransparent);
            if (!m_BitmapNormal.mask) {
                FreeImages(1);
                return 2;
            }
        }
    } else if (normal) {
        // Without a first picture the second is not used; it is the
        // button's all the same.
        ::DeleteObject(normal);
    }
    if (GetSafeHwnd())
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return 0;
}

void CNFCUMButton::FreeImages(int deleteHandles)
{
    if (deleteHandles == 1) {
        if (m_IconHot.handle)
            ::DestroyIcon(m_IconHot.handle);
        if (m_IconNormal.handle)
            ::DestroyIcon(m_IconNormal.handle);
        if (m_BitmapHot.handle)
            ::DeleteObject(m_BitmapHot.handle);
        if (m_BitmapHot.mask)
            ::DeleteObject(m_BitmapHot.mask);
        if (m_BitmapNormal.handle)
            ::DeleteObject(m_BitmapNormal.handle);
        if (m_BitmapNormal.mask)
            ::DeleteObject(m_BitmapNormal.mask);
    }
    std::memset(&m_IconHot, 0, sizeof(m_IconHot));
    std::memset(&m_IconNormal, 0, sizeof(m_IconNormal));
    std::memset(&m_BitmapHot, 0, sizeof(m_BitmapHot));
    std::memset(&m_BitmapNormal, 0, sizeof(m_BitmapNormal));
}

// A monochrome mask of the picture: white where the picture has the
// transparent colour, black elsewhere. The transparent pixels of the picture
// itself are blackened, so that the picture can be ORed onto a background
// that the mask has cut out.
HBITMAP CNFCUMButton::CreateMaskBitmap(HBITMAP bitmap, DWORD width, DWORD height, COLORREF transparent)
{
    HBITMAP mask = ::CreateBitmap(static_cast<int>(width), static_cast<int>(height), 1, 1, nullptr);
    if (!mask)
        return nullptr;
    HDC pictureDC = ::CreateCompatibleDC(nullptr);
    HDC maskDC = ::CreateCompatibleDC(nullptr);
    HGDIOBJ oldPicture = pictureDC ? ::SelectObject(pictureDC, bitmap) : nullptr;
    HGDIOBJ oldMask = maskDC ? ::SelectObject(maskDC, mask) : nullptr;
    if (!oldPicture || !oldMask) {
        // The picture cannot be drawn from (not a bitmap, or held by another
        // DC): no mask.
        if (oldPicture)
            ::SelectObject(pictureDC, oldPicture);
        if (oldMask)
            ::SelectObject(maskDC, oldMask);
        if (pictureDC)
            ::DeleteDC(pictureDC);
        if (maskDC)
            ::DeleteDC(maskDC);
        ::DeleteObject(mask);
        return nullptr;
    }
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    COLORREF oldBk = ::SetBkColor(pictureDC, transparent);
    ::BitBlt(maskDC, 0, 0, w, h, pictureDC, 0, 0, SRCCOPY);
    COLORREF oldText = ::SetTextColor(pictureDC, RGB(255, 255, 255));
    ::SetBkColor(pictureDC, RGB(0, 0, 0));
    ::BitBlt(pictureDC, 0, 0, w, h, maskDC, 0, 0, SRCAND);
    ::SetTextColor(pictureDC, oldText);
    ::SetBkColor(pictureDC, oldBk);
    ::SelectObject(maskDC, oldMask);
    ::SelectObject(pictureDC, oldPicture);
    ::DeleteDC(maskDC);
    ::DeleteDC(pictureDC);
    return mask;
}

// ---- Subclassing and messages

void CNFCUMButton::PreSubclassWindow()
{
    UINT style = static_cast<UINT>(GetStyle()) & 0xFFFF;
    if (style & BS_DEFPUSHBUTTON)
        m_DefaultButton = 1;
    if (style & BS_CHECKBOX)
        m_CheckMode = 1;
    SendMessage(BM_SETSTYLE, static_cast<WPARAM>(style | BS_OWNERDRAW), TRUE);
    CButton::PreSubclassWindow();
}

BOOL CNFCUMButton::PreTranslateMessage(MSG* msg)
{
    if (!m_TipCtrl.GetSafeHwnd()) {
        m_TipCtrl.Create(this, 0);
        m_TipCtrl.Activate(FALSE);
        m_TipCtrl.SetMaxTipWidth(400);
    }
    if (m_TipCtrl.GetSafeHwnd())
        m_TipCtrl.RelayEvent(msg);
    return CButton::PreTranslateMessage(msg);
}

// A double click is a second click.
LRESULT CNFCUMButton::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDBLCLK)
        message = WM_LBUTTONDOWN;
    return CButton::DefWindowProc(message, wParam, lParam);
}

int CNFCUMButton::NotifyHover(int hovered)
{
    CWnd* parent = GetParent();
    if (parent) {
        NMHDR header;
        header.hwndFrom = GetSafeHwnd();
        header.idFrom = hovered ? static_cast<UINT_PTR>(GetDlgCtrlID()) : 0;
        header.code = NM_HOVER;
        parent->SendMessage(WM_NOTIFY, static_cast<WPARAM>(GetDlgCtrlID()), reinterpret_cast<LPARAM>(&header));
    }
    return 1;
}

void CNFCUMButton::LeaveHover()
{
    if (m_Flat && m_Hovered) {
        m_Hovered = 0;
        Invalidate(TRUE);
    }
}

void CNFCUMButton::OnMouseMove(UINT flags, CPoint point)
{
    CButton::OnMouseMove(flags, point);
    if ((flags & MK_LBUTTON) && !m_Hovered)
        return;
    if (!m_Flat)
        return;
    if (GetCapture() != this) {
        if (GetActiveWindow() && (GetOwner() || GetParent())) {
            m_Hovered = 1;
            SetFocus();
            SetCapture();
            Invalidate(TRUE);
            NotifyHover(1);
        }
        return;
    }
    ClientToScreen(&point);
    CWnd* under = WindowFromPoint(point);
    if (!under || under->GetSafeHwnd() == GetSafeHwnd())
        return;
    if (m_Hovered) {
        m_Hovered = 0;
        Invalidate(TRUE);
        NotifyHover(0);
    }
    if (!(flags & MK_LBUTTON))
        ::ReleaseCapture();
}

void CNFCUMButton::OnSetFocus(CWnd* oldWnd)
{
    CButton::OnSetFocus(oldWnd);
    Invalidate(TRUE);
    NotifyHover(m_Hovered);
}

void CNFCUMButton::OnKillFocus(CWnd* newWnd)
{
    CButton::OnKillFocus(newWnd);
    m_Hovered = 0;
    Invalidate(TRUE);
    NotifyHover(0);
}

void CNFCUMButton::OnActivate(UINT state, CWnd* other, BOOL minimized)
{
    CButton::OnActivate(state, other, minimized);
    if (state == WA_INACTIVE)
        LeaveHover();
}

void CNFCUMButton::OnEnable(BOOL enable)
{
    CButton::OnEnable(enable);
    if (!enable)
        LeaveHover();
}

void CNFCUMButton::OnCancelMode()
{
    CButton::OnCancelMode();
    LeaveHover();
}

void CNFCUMButton::OnCaptureChanged(CWnd* wnd)
{
    CButton::OnCaptureChanged(wnd);
}

void CNFCUMButton::OnLButtonDown(UINT flags, CPoint point)
{
    CButton::OnLButtonDown(flags, point);
    if (!m_AutoRepeat)
        return;
    const int id = GetDlgCtrlID();
    CWnd* parent = GetParent();
    HWND self = GetSafeHwnd();
    SetCapture();
    MSG msg;
    int sent = 0;
    if (!::PeekMessageA(&msg, self, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE)) {
        for (;;) {
            if (parent)
                parent->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(self));
            ++sent;
            ::Sleep(static_cast<DWORD>(m_RepeatPeriod));
            if (::PeekMessageA(&msg, self, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE)) {
                if (sent % 2 == 1 && parent)
                    parent->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(self));
                break;
            }
            // The button-up may never come to us once the capture is gone.
            if (GetCapture() != this)
                break;
        }
    }
    ::ReleaseCapture();
    SendMessage(WM_LBUTTONUP, 0, 0);
    POINT cursor;
    ::GetCursorPos(&cursor);
    ScreenToClient(&cursor);
    SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(cursor.x, cursor.y));
}

BOOL CNFCUMButton::OnClickedReflect()
{
    if (m_CheckMode) {
        m_Checked = !m_Checked;
        Invalidate(TRUE);
    } else if (m_URL[0] != 0) {
        ::ShellExecuteA(nullptr, "open", m_URL, nullptr, nullptr, SW_SHOWMAXIMIZED);
    }
    return FALSE;
}

BOOL CNFCUMButton::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message)
{
    if (m_UseAltCursor) {
        if (!m_AltCursor)
            return FALSE;
        ::SetCursor(m_AltCursor);
        return TRUE;
    }
    if (m_Cursor) {
        ::SetCursor(m_Cursor);
        return TRUE;
    }
    return CButton::OnSetCursor(wnd, hitTest, message);
}

HBRUSH CNFCUMButton::OnCtlColorReflect(CDC*, UINT)
{
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

BOOL CNFCUMButton::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

void CNFCUMButton::OnSysColorChange()
{
    CButton::OnSysColorChange();
    m_BackgroundDC.DeleteDC();
    m_BackgroundBitmap.DeleteObject();
}

// ---- Painting

void CNFCUMButton::DrawItem(LPDRAWITEMSTRUCT drawItem)
{
    CDC* target = CDC::FromHandle(drawItem->hDC);
    if (!target)
        return;
    CRect client;
    GetClientRect(&client);
    // The whole face is drawn off screen and copied in one go, so a hover
    // change never flickers.
    CDC memory;
    CBitmap bitmap;
    if (!memory.CreateCompatibleDC(target) || !bitmap.CreateCompatibleBitmap(target, client.Width(), client.Height())) {
        // No memory for the copy: draw straight onto the target.
        PaintButton(target, drawItem);
        return;
    }
    CBitmap* old = memory.SelectObject(&bitmap);
    CRect clip;
    memory.GetClipBox(&clip);
    PaintButton(&memory, drawItem);
    target->BitBlt(client.left, client.top, client.Width(), client.Height(), &memory, clip.left, clip.top, SRCCOPY);
    memory.SelectObject(old);
    bitmap.DeleteObject();
    memory.DeleteDC();
}

void CNFCUMButton::PaintButton(CDC* dc, LPDRAWITEMSTRUCT drawItem)
{
    const UINT state = drawItem->itemState;
    m_Pressed = (state & ODS_SELECTED) || (m_CheckMode && m_Checked) ? 1 : 0;
    m_Focused = (state & ODS_FOCUS) ? 1 : 0;
    m_Disabled = (state & ODS_DISABLED) ? 1 : 0;

    CRect item = drawItem->rcItem;
    dc->SetBkMode(TRANSPARENT);
    if (!m_Flat && (m_Focused || m_DefaultButton)) {
        CBrush black(RGB(0, 0, 0));
        dc->FrameRect(&item, &black);
        item.DeflateRect(1, 1);
    }

    if (m_Transparent)
        SnapshotParentBackground(dc);
    else
        PaintBackground(dc, &item);
    PaintEdge(dc, &item);

    // The pictures take their place from the whole item, not from the
    // rectangle inside a focus frame, and leave the caption the rest.
    CString caption;
    GetWindowText(caption);
    const BOOL hasCaption = caption.GetLength() > 0;
    CRect captionRect = drawItem->rcItem;

    if (m_IconHot.handle)
        PaintIcon(dc, hasCaption, &drawItem->rcItem, &captionRect, m_Pressed, m_Disabled);
    if (m_BitmapHot.handle) {
        // With a white background and black text the monochrome mask keeps
        // the background under its white pixels and clears it under its black.
        dc->SetBkColor(RGB(255, 255, 255));
        PaintBitmap(dc, hasCaption, &drawItem->rcItem, &captionRect, m_Pressed, m_Disabled);
    }

    if (hasCaption)
        PaintCaption(dc, caption, captionRect);
}

void CNFCUMButton::PaintEdge(CDC* dc, CRect* item)
{
    if (m_Flat) {
        if (m_HoverBorder && (m_Pressed || m_Hovered))
            PaintBorder(dc, item);
    } else if (m_Pressed) {
        CBrush shadow(::GetSysColor(COLOR_BTNSHADOW));
        dc->FrameRect(item, &shadow);
    } else {
        PaintRaisedEdge(dc, *item);
    }
}

void CNFCUMButton::PaintRaisedEdge(CDC* dc, const CRect& item)
{
    // Light along the top and left, dark along the bottom and right, two
    // pixels deep; a line never includes its end point.
    CPen highlight(PS_SOLID, 1, ::GetSysColor(COLOR_BTNHIGHLIGHT));
    CPen light(PS_SOLID, 1, ::GetSysColor(COLOR_3DLIGHT));
    CPen dark(PS_SOLID, 1, ::GetSysColor(COLOR_3DDKSHADOW));
    CPen shadow(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW));
    const int l = item.left, t = item.top, r = item.right, b = item.bottom;
    struct Stroke {
        CPen* pen;
        POINT from, via, to;
    };
    const Stroke strokes[] = {
        {&highlight, {l, b - 1}, {l, t}, {r, t}},
        {&light, {l + 1, b - 1}, {l + 1, t + 1}, {r, t + 1}},
        {&dark, {l, b - 1}, {r - 1, b - 1}, {r - 1, t - 1}},
        {&shadow, {l + 1, b - 2}, {r - 2, b - 2}, {r - 2, t}},
    };
    CPen* oldPen = nullptr;
    for (const Stroke& stroke : strokes) {
        CPen* previous = dc->SelectObject(stroke.pen);
        if (&stroke == strokes)
            oldPen = previous;
        dc->MoveTo(stroke.from.x, stroke.from.y);
        dc->LineTo(stroke.via.x, stroke.via.y);
        dc->LineTo(stroke.to.x, stroke.to.y);
    }
    dc->SelectObject(oldPen);
}

void CNFCUMButton::AlignCaption(CRect* caption, const CRect& space) const
{
    const int W = space.Width(), H = space.Height();
    const int w = caption->Width(), h = caption->Height();
    if (m_CaptionAlign & CAPTION_VCENTER)
        caption->OffsetRect(0, (H - h) / 2);
    if (m_CaptionAlign & CAPTION_HCENTER)
        caption->OffsetRect((W - w) / 2, 0);
    if (m_CaptionAlign & CAPTION_BOTTOM)
        caption->OffsetRect(0, H - h);
    if (m_CaptionAlign & CAPTION_RIGHT)
        caption->OffsetRect((W - w) - CAPTION_MARGIN > CAPTION_MARGIN ? (W - w) - CAPTION_MARGIN : W - w, 0);
    if ((m_CaptionAlign & CAPTION_LEFT) && w + CAPTION_MARGIN < W - CAPTION_MARGIN)
        caption->OffsetRect(CAPTION_MARGIN, 0);
}

void CNFCUMButton::PaintCaption(CDC* dc, const CString& caption, CRect captionRect)
{
    CFont* font = CFont::FromHandle(reinterpret_cast<HFONT>(SendMessage(WM_GETFONT, 0, 0)));
    CFont* oldFont = font ? dc->SelectObject(font) : nullptr;
    if (m_Pressed && !m_CheckMode)
        captionRect.OffsetRect(1, 1);
    const CRect space = captionRect;
    // Measuring keeps the top left and makes the rectangle the extent of
    // the word-wrapped text.
    dc->DrawText(caption, caption.GetLength(), &captionRect, DT_WORDBREAK | DT_CALCRECT);
    AlignCaption(&captionRect, space);
    dc->SetBkMode(TRANSPARENT);
    if (m_Disabled) {
        // Embossed: the highlight one pixel right and down, the shadow over it.
        captionRect.OffsetRect(1, 1);
        dc->SetTextColor(::GetSysColor(COLOR_BTNHIGHLIGHT));
        dc->DrawText(caption, caption.GetLength(), &captionRect, DT_CENTER | DT_WORDBREAK);
        captionRect.OffsetRect(-1, -1);
        dc->SetTextColor(::GetSysColor(COLOR_BTNSHADOW));
        dc->DrawText(caption, caption.GetLength(), &captionRect, DT_CENTER | DT_WORDBREAK);
    } else {
        const bool hot = m_Hovered || m_Pressed;
        dc->SetTextColor(m_StateColors[hot ? 1 : 3]);
        dc->SetBkColor(m_StateColors[hot ? 0 : 2]);
        dc->DrawText(caption, caption.GetLength(), &captionRect, DT_CENTER | DT_WORDBREAK);
    }
    if (oldFont)
        dc->SelectObject(oldFont);
}

int CNFCUMButton::PaintBackground(CDC* dc, CRect* rect)
{
    CBrush brush((m_Hovered || m_Pressed) ? m_StateColors[0] : m_StateColors[2]);
    dc->FillRect(rect, &brush);
    return 0;
}

int CNFCUMButton::PaintBorder(CDC* dc, CRect* rect)
{
    if (m_Pressed)
        dc->Draw3dRect(rect, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNHIGHLIGHT));
    else
        dc->Draw3dRect(rect, ::GetSysColor(COLOR_BTNHIGHLIGHT), ::GetSysColor(COLOR_BTNSHADOW));
    return 0;
}

CRect CNFCUMButton::PlaceImage(BOOL hasCaption, const RECT* item, CRect* captionRect, BOOL pressed, DWORD width,
                               DWORD height)
{
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    CRect image = *item;
    auto centreX = [&] { image.left += FloorHalf(image.Width() - w); };
    auto centreY = [&] { image.top += FloorHalf(image.Height() - h); };
    if (!hasCaption) {
        centreX();
        centreY();
    } else {
        switch (m_ImagePosition) {
        case IMAGE_LEFT:
            image.left += IMAGE_MARGIN;
            captionRect->left += w + IMAGE_MARGIN;
            centreY();
            break;
        case IMAGE_ABOVE:
            centreX();
            image.top = IMAGE_MARGIN;
            captionRect->top += h;
            break;
        case IMAGE_RIGHT: {
            CRect client;
            GetClientRect(&client);
            const int oldWidth = captionRect->Width();
            captionRect->left = IMAGE_MARGIN;
            captionRect->right = oldWidth - w - IMAGE_MARGIN;
            image.left = client.Width() - w - IMAGE_MARGIN;
            centreY();
            break;
        }
        default:
            break;
        }
    }
    if (pressed && !m_CheckMode)
        image.OffsetRect(1, 1);
    return image;
}

void CNFCUMButton::PaintBitmap(CDC* dc, BOOL hasCaption, const RECT* item, CRect* captionRect, BOOL pressed, BOOL)
{
    const BitmapImage& picture = (m_BitmapNormal.handle && !pressed && (!m_Hovered || m_CheckMode)) ? m_BitmapNormal
                                                                                                    : m_BitmapHot;
    CRect image = PlaceImage(hasCaption, item, captionRect, pressed, picture.width, picture.height);
    CDC pictureDC, maskDC;
    if (!pictureDC.CreateCompatibleDC(dc) || !maskDC.CreateCompatibleDC(nullptr))
        return;
    HGDIOBJ oldPicture = ::SelectObject(pictureDC, picture.handle);
    HGDIOBJ oldMask = ::SelectObject(maskDC, picture.mask);
    const int w = static_cast<int>(picture.width), h = static_cast<int>(picture.height);
    dc->BitBlt(image.left, image.top, w, h, &maskDC, 0, 0, SRCAND);
    dc->BitBlt(image.left, image.top, w, h, &pictureDC, 0, 0, SRCPAINT);
    if (oldMask)
        ::SelectObject(maskDC, oldMask);
    if (oldPicture)
        ::SelectObject(pictureDC, oldPicture);
    maskDC.DeleteDC();
    pictureDC.DeleteDC();
}

void CNFCUMButton::PaintIcon(CDC* dc, BOOL hasCaption, const RECT* item, CRect* captionRect, BOOL pressed,
                             BOOL disabled)
{
    const IconImage& icon = (m_IconNormal.handle && !pressed && (!m_Hovered || m_CheckMode)) ? m_IconNormal : m_IconHot;
    CRect image = PlaceImage(hasCaption, item, captionRect, pressed, icon.width, icon.height);
    dc->DrawState(image.TopLeft(), CSize(static_cast<int>(icon.width), static_cast<int>(icon.height)), icon.handle,
                  DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL), static_cast<CBrush*>(nullptr));
}

void CNFCUMButton::SnapshotParentBackground(CDC* dc)
{
    CWnd* parent = GetParent();
    CClientDC parentDC(parent);
    CRect client, window;
    GetClientRect(&client);
    GetWindowRect(&window);
    if (parent)
        parent->ScreenToClient(&window);
    if (!m_BackgroundDC.m_hDC) {
        m_BackgroundDC.CreateCompatibleDC(&parentDC);
        m_BackgroundBitmap.CreateCompatibleBitmap(&parentDC, client.Width(), client.Height());
        m_OldBackgroundBitmap = m_BackgroundDC.SelectObject(&m_BackgroundBitmap);
        m_BackgroundDC.BitBlt(0, 0, client.Width(), client.Height(), &parentDC, window.left, window.top, SRCCOPY);
    }
    if (dc)
        dc->BitBlt(0, 0, client.Width(), client.Height(), &m_BackgroundDC, 0, 0, SRCCOPY);
}

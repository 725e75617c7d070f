// CNFCUMButton: a flat push button that draws itself with a picture for the
// idle and one for the hovered or pressed state, tracks the pointer with a
// mouse capture to notice when it enters and leaves, frames itself while
// hovered and draws its caption in colours chosen per state.
#pragma once

#include "platform/gdi/Gdi.h"
#include "platform/window/Controls.h"

class CNFCUMButton : public CButton {
public:
    // The bits of SetCaptionAlign. Each moves the measured caption within
    // the space left for it, in this order: down by half the spare height,
    // right by half the spare width, down by the spare height, flush right
    // less a 10-pixel margin (or flush right when the margin does not fit),
    // right by the 10-pixel margin when the caption fits beside it. A
    // caption without a bit keeps to the top left.
    enum : int {
        CAPTION_LEFT = 0x01,
        CAPTION_RIGHT = 0x02,
        CAPTION_BOTTOM = 0x08,
        CAPTION_HCENTER = 0x10,
        CAPTION_VCENTER = 0x20,
    };

    CNFCUMButton();
    ~CNFCUMButton() override;

    // Configuration.
    void SetHoverBorder(int hoverBorder);
    // CAPTION_ bits, kept as given; the default centres both ways.
    void SetCaptionAlign(int flags);
    // Where the picture stands beside a caption.
    enum : int { IMAGE_LEFT = 0, IMAGE_ABOVE = 1, IMAGE_RIGHT = 2 };
    // An IMAGE_ place; other values keep the place.
    void SetImagePosition(int position);
    // 0 background and 1 text while hovered or pressed, 2 and 3 otherwise.
    // Returns 3 for an index above 3, else 0.
    int SetStateColor(BYTE index, COLORREF colour, int repaint);
    int LoadImages(UINT hotId, COLORREF hotTransparent, UINT normalId, COLORREF normalTransparent);
    // Takes both bitmaps. 0 done, 1 a bitmap's size cannot be read, 2 a mask
    // cannot be made.
    int SetImages(HBITMAP hot, COLORREF hotTransparent, HBITMAP normal, COLORREF normalTransparent);

    BOOL PreTranslateMessage(MSG* msg) override;
    void DrawItem(LPDRAWITEMSTRUCT drawItem) override;
    virtual int PaintBackground(CDC* dc, CRect* rect);
    virtual int PaintBorder(CDC* dc, CRect* rect);

protected:
    void PreSubclassWindow() override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    afx_msg void OnCaptureChanged(CWnd* wnd);
    afx_msg BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    afx_msg void OnSetFocus(CWnd* oldWnd);
    afx_msg void OnKillFocus(CWnd* newWnd);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnSysColorChange();
    afx_msg void OnActivate(UINT state, CWnd* other, BOOL minimized);
    afx_msg void OnEnable(BOOL enable);
    afx_msg void OnCancelMode();
    afx_msg HBRUSH OnCtlColorReflect(CDC* dc, UINT ctlColor);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg BOOL OnClickedReflect();
    // The name the reflected WM_CTLCOLOR entry calls.
    HBRUSH CtlColor(CDC* dc, UINT ctlColor) { return OnCtlColorReflect(dc, ctlColor); }

    DECLARE_MESSAGE_MAP()

private:
    struct IconImage {
        HICON handle;
        DWORD width;
        DWORD height;
    };
    struct BitmapImage {
        HBITMAP handle;
        DWORD width;
        DWORD height;
        HBITMAP mask;
        COLORREF transparent;
    };

    void FreeImages(int deleteHandles);
    HBITMAP CreateMaskBitmap(HBITMAP bitmap, DWORD width, DWORD height, COLORREF transparent);
    int NotifyHover(int hovered);
    void LeaveHover();
    void Repaint();

    void PaintButton(CDC* dc, LPDRAWITEMSTRUCT drawItem);
    // The frame of the face for the current state, on the face's rectangle.
    void PaintEdge(CDC* dc, CRect* item);
    // A non-flat button's raised 3-D edge.
    void PaintRaisedEdge(CDC* dc, const CRect& item);
    // The caption measured, moved by the CAPTION_ bits and drawn.
    void PaintCaption(CDC* dc, const CString& caption, CRect captionRect);
    // Moves the measured caption within the space it was measured in.
    void AlignCaption(CRect* caption, const CRect& space) const;
    CRect PlaceImage(BOOL hasCaption, const RECT* item, CRect* captionRect, BOOL pressed, DWORD width, DWORD height);
    void PaintBitmap(CDC* dc, BOOL hasCaption, const RECT* item, CRect* captionRect, BOOL pressed, BOOL disabled);
    void PaintIcon(CDC* dc, BOOL hasCaption, const RECT* item, CRect* captionRect, BOOL pressed, BOOL disabled);
    void SnapshotParentBackground(CDC* dc);

public:
    int m_Transparent;
    int m_Hovered;
    int m_Pressed;
    int m_Focused;
    int m_Disabled;
    COLORREF m_StateColors[4];
    int m_ImagePosition;
    int m_CaptionAlign;
    int m_HoverBorder;
    int m_Flat;
    int m_AutoRepeat;
    int m_RepeatPeriod;

private:
    // The picture block, cleared as a whole.
    IconImage m_IconHot;
    IconImage m_IconNormal;
    BitmapImage m_BitmapHot;
    BitmapImage m_BitmapNormal;

    CDC m_BackgroundDC;
    CBitmap m_BackgroundBitmap;
    CBitmap* m_OldBackgroundBitmap;
    HCURSOR m_AltCursor;
    HCURSOR m_Cursor;
    CToolTipCtrl m_TipCtrl;

public:
    int m_DefaultButton;
    int m_CheckMode;
    int m_UseAltCursor;
    int m_Checked;
    char m_URL[MAX_PATH];
};

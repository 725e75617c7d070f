// The standard controls the program uses: push buttons and check boxes,
// static texts and icons, combo boxes, progress bars and tool tips.
// Each control's Create takes MFC's arguments for that control; the
// using-declarations keep CWnd's general Create callable beside it, as MFC
// has it, rather than hidden.
#pragma once

#include "platform/window/CWnd.h"

class CButton : public CWnd {
public:
    CButton() = default;
    using CWnd::Create;
    BOOL Create(LPCTSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCheck() const;
    void SetCheck(int check);
    UINT GetState() const;
    void SetState(BOOL pushed);
    void SetButtonStyle(UINT style, BOOL redraw = TRUE);
    // Owner-drawn buttons draw themselves here, on the parent's WM_DRAWITEM.
    virtual void DrawItem(LPDRAWITEMSTRUCT drawItem);

protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    DECLARE_MESSAGE_MAP()
};

class CStatic : public CWnd {
public:
    CStatic() = default;
    using CWnd::Create;
    BOOL Create(LPCTSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xffff);

protected:
    DECLARE_MESSAGE_MAP()
};

class CEdit : public CWnd {
public:
    CEdit() = default;
    using CWnd::Create;
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

protected:
    DECLARE_MESSAGE_MAP()
};

class CComboBox : public CWnd {
public:
    CComboBox() = default;
    using CWnd::Create;
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int AddString(LPCTSTR text);
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetLBText(int index, LPTSTR buffer) const;
    void GetLBText(int index, CString& text) const;
    int GetLBTextLen(int index) const;
    int FindStringExact(int startAfter, LPCTSTR text) const;

protected:
    DECLARE_MESSAGE_MAP()
};

class CProgressCtrl : public CWnd {
public:
    CProgressCtrl() = default;
    using CWnd::Create;
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetRange(short lower, short upper);
    int SetPos(int pos);
    int GetPos() const;
    COLORREF SetBkColor(COLORREF color);

protected:
    DECLARE_MESSAGE_MAP()
};

// Tool tips: the control is created and takes the relayed messages, but the
// program adds no tools, so no tip is ever shown.
class CToolTipCtrl : public CWnd {
public:
    CToolTipCtrl() = default;
    using CWnd::Create;
    virtual BOOL Create(CWnd* parent, DWORD style = 0);
    void Activate(BOOL activate);
    int SetMaxTipWidth(int width);
    int GetMaxTipWidth() const;
    void RelayEvent(LPMSG msg);

protected:
    DECLARE_MESSAGE_MAP()
};

// CWnd: the framework's window object over a window handle of this layer.
// Every window of the layer has one: windows the program creates use the
// program's object, controls made from a dialog template get one of the
// layer's own until the program subclasses them (DDX_Control).
#pragma once

#include "platform/strings/CString.h"
#include "platform/window/MessageMap.h"

class CDC;
class CFont;

class CWnd : public CCmdTarget {
public:
    CWnd();
    ~CWnd() override;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return GetSafeHwnd(); }
    // The object of a window, or null for a handle that names no window.
    static CWnd* FromHandle(HWND hwnd);

    // Creation of a child or top-level window of a window class of the
    // layer ("Button", "Static", "ComboBox", "msctls_progress32",
    // "tooltips_class32", "#32770", or any other name for a plain window).
    virtual BOOL CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style, const RECT& rect,
                          CWnd* parent, UINT id, LPVOID param = nullptr);
    virtual BOOL Create(LPCTSTR className, LPCTSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id,
                        LPVOID param = nullptr);
    virtual BOOL DestroyWindow();

    // Takes over an existing window: this object receives its messages.
    BOOL SubclassWindow(HWND hwnd);
    HWND UnsubclassWindow();
    BOOL Attach(HWND hwnd);
    HWND Detach();

    // Message handling.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // A notification from the parent, offered to the control first: TRUE
    // when the control handled it and the parent should not.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Passes the message being handled on to DefWindowProc.
    LRESULT Default();

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Texts, state and children.
    void SetWindowText(LPCTSTR text);
    int GetWindowText(LPTSTR buffer, int bufferSize) const;
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;
    CWnd* GetDlgItem(int id) const;
    void SetDlgItemText(int id, LPCTSTR text);
    int GetDlgItemText(int id, LPTSTR buffer, int bufferSize) const;
    int GetDlgItemText(int id, CString& text) const;
    int GetDlgCtrlID() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    CWnd* GetParent() const;
    CWnd* GetOwner() const { return GetParent(); }
    DWORD GetStyle() const;

    // Geometry.
    void GetClientRect(LPRECT rect) const;
    void GetWindowRect(LPRECT rect) const;
    void ClientToScreen(LPPOINT point) const;
    void ClientToScreen(LPRECT rect) const;
    void ScreenToClient(LPPOINT point) const;
    void ScreenToClient(LPRECT rect) const;
    void CenterWindow(CWnd* alternateOwner = nullptr);

    // Painting.
    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
    void ValidateRect(LPCRECT rect);
    void UpdateWindow();
    BOOL RedrawWindow(LPCRECT update = nullptr, void* region = nullptr,
                      UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    // A DC of the client area (the drawing layer's CDC); give it back with
    // ReleaseDC.
    CDC* GetDC();
    int ReleaseDC(CDC* dc);

    // Focus and capture.
    CWnd* SetFocus();
    static CWnd* GetFocus();
    CWnd* SetCapture();
    static CWnd* GetCapture();
    static CWnd* GetActiveWindow();
    static CWnd* WindowFromPoint(POINT point);

    int MessageBox(LPCTSTR text, LPCTSTR caption = nullptr, UINT type = MB_OK);

protected:
    // Called when the object takes over an existing window.
    virtual void PreSubclassWindow();
    // Called after the window's last message; the layer's own objects delete
    // themselves here.
    virtual void PostNcDestroy();

    DECLARE_MESSAGE_MAP()

    // Default handlers: each passes the message on to DefWindowProc.
    afx_msg void OnDestroy();
    afx_msg void OnClose();
    afx_msg void OnPaint();
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnSysCommand(UINT id, LPARAM lParam);
    afx_msg void OnSetFocus(CWnd* oldWnd);
    afx_msg void OnKillFocus(CWnd* newWnd);
    afx_msg void OnCaptureChanged(CWnd* wnd);
    afx_msg BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT flags, CPoint point);
    afx_msg void OnSysColorChange();
    afx_msg void OnActivate(UINT state, CWnd* other, BOOL minimized);
    afx_msg void OnEnable(BOOL enable);
    afx_msg void OnCancelMode();
    // Reflects the request to the control, which draws itself.
    afx_msg void OnDrawItem(int id, LPDRAWITEMSTRUCT drawItem);

private:
    friend struct ZqWindowAccess;
    bool m_layerOwned = false;  // made by the layer for a template control
};

// Message maps in the framework's manner: each class keeps a static table of
// the messages it handles, chained to its base class's table. A table entry
// carries a small thunk that unpacks the message's parameters and calls the
// handler, so handlers keep their usual signatures.
//
//   class CMyDlg : public CDialog { ... DECLARE_MESSAGE_MAP() };
//   BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//       ON_WM_PAINT()
//       ON_BN_CLICKED(IDC_NEXT, &CMyDlg::OnNext)
//       ON_MESSAGE(WM_USER + 13, &CMyDlg::OnResult)
//   END_MESSAGE_MAP()
//
// Handlers of messages with a CDC* parameter (ON_WM_ERASEBKGND,
// ON_WM_CTLCOLOR_REFLECT) need the drawing layer's CDC declared where the map
// is written.
#pragma once

#include "platform/base/WinGeometry.h"
#include "platform/base/WinTypes.h"
#include "platform/window/WinUser.h"

class CCmdTarget;
class CWnd;

#define afx_msg

// What kind of entry a map row is; it decides how the dispatcher calls the
// thunk and what its result means.
enum AfxEntryKind : UINT {
    AfxEntry_End = 0,
    AfxEntry_Message,    // a window message; the thunk's result is the message's
    AfxEntry_Command,    // WM_COMMAND with a notification code and a range of ids
    AfxEntry_Notify,     // WM_NOTIFY with a code and a range of ids
    AfxEntry_ReflectEx,  // a reflected notification; FALSE lets the parent handle it too
};

// lParam2 carries the LRESULT* of WM_NOTIFY entries; other thunks ignore it.
typedef LRESULT (*AFX_THUNK)(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT* notifyResult);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;
    UINT nID;
    UINT nLastID;
    UINT nKind;
    AFX_THUNK pfnThunk;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)        \
    const AFX_MSGMAP* theClass::GetMessageMap() const \
    {                                                 \
        return GetThisMessageMap();                   \
    }                                                 \
    const AFX_MSGMAP* theClass::GetThisMessageMap()   \
    {                                                 \
        typedef theClass ThisClass;                   \
        typedef baseClass TheBaseClass;               \
        (void)static_cast<ThisClass*>(nullptr);       \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                         \
    {                                                                                             \
        0, 0, 0, 0, AfxEntry_End, nullptr                                                         \
    }                                                                                             \
    }                                                                                             \
    ;                                                                                             \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
    return &messageMap;                                                                           \
    }

// The handler object, as the thunk sees it.
#define AFX_THIS (static_cast<ThisClass*>(zqTarget))
#define AFX_MSG_THUNK(body)                                                                \
    [](CCmdTarget* zqTarget, WPARAM wParam, LPARAM lParam, LRESULT* zqResult) -> LRESULT { \
        (void)zqTarget;                                                                    \
        (void)wParam;                                                                      \
        (void)lParam;                                                                      \
        (void)zqResult;                                                                    \
        body                                                                               \
    }

#define AFX_MESSAGE_ENTRY(msg, body) {static_cast<UINT>(msg), 0, 0, 0, AfxEntry_Message, AFX_MSG_THUNK(body)},

// A window message handled as LRESULT fn(WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn)                                                                               \
    AFX_MESSAGE_ENTRY(message, return (AFX_THIS->*(static_cast<LRESULT (ThisClass::*)(WPARAM, LPARAM)>(memberFxn)))( \
                                   wParam, lParam);)

// WM_COMMAND from control id with a notification code: void fn().
#define ON_CONTROL(code, id, memberFxn)                                                              \
    {                                                                                                \
        WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(static_cast<WORD>(id)),               \
            static_cast<UINT>(static_cast<WORD>(id)), AfxEntry_Command,                              \
            AFX_MSG_THUNK((AFX_THIS->*(static_cast<void (ThisClass::*)()>(memberFxn)))(); return 0;) \
    }                                                                                                \
    ,
#define ON_COMMAND(id, memberFxn) ON_CONTROL(0, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)

// WM_NOTIFY from control id: void fn(NMHDR*, LRESULT*).
#define ON_NOTIFY(code, id, memberFxn)                                                                     \
    {                                                                                                      \
        WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id), AfxEntry_Notify, \
            AFX_MSG_THUNK((AFX_THIS->*(static_cast<void (ThisClass::*)(NMHDR*, LRESULT*)>(memberFxn)))(    \
                              reinterpret_cast<NMHDR*>(lParam), zqResult);                                 \
                          return 0;)                                                                       \
    }                                                                                                      \
    ,

// A notification that the parent reflects to the control: BOOL fn(). FALSE
// lets the parent handle the notification too.
#define ON_CONTROL_REFLECT_EX(code, memberFxn)                                                    \
    {                                                                                             \
        WM_REFLECT_BASE + WM_COMMAND, static_cast<UINT>(code), 0, 0, AfxEntry_ReflectEx,          \
            AFX_MSG_THUNK(return (AFX_THIS->*(static_cast<BOOL (ThisClass::*)()>(memberFxn)))();) \
    }                                                                                             \
    ,
// WM_CTLCOLOR* reflected to the control: HBRUSH CtlColor(CDC*, UINT).
#define ON_WM_CTLCOLOR_REFLECT()                                                              \
    {                                                                                         \
        WM_REFLECT_BASE + WM_CTLCOLOR, 0, 0, 0, AfxEntry_Message,                             \
            AFX_MSG_THUNK(return reinterpret_cast<LRESULT>(AFX_THIS->CtlColor(                \
                CDC::FromHandle(reinterpret_cast<HDC>(wParam)), static_cast<UINT>(lParam)));) \
    }                                                                                         \
    ,

// ---- The standard messages, with the framework's handler names.
#define ON_WM_DESTROY() AFX_MESSAGE_ENTRY(WM_DESTROY, AFX_THIS->OnDestroy(); return 0;)
#define ON_WM_CLOSE() AFX_MESSAGE_ENTRY(WM_CLOSE, AFX_THIS->OnClose(); return 0;)
#define ON_WM_PAINT() AFX_MESSAGE_ENTRY(WM_PAINT, AFX_THIS->OnPaint(); return 0;)
#define ON_WM_ERASEBKGND() \
    AFX_MESSAGE_ENTRY(WM_ERASEBKGND, return AFX_THIS->OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wParam)));)
#define ON_WM_QUERYDRAGICON() \
    AFX_MESSAGE_ENTRY(WM_QUERYDRAGICON, return reinterpret_cast<LRESULT>(AFX_THIS->OnQueryDragIcon());)
#define ON_WM_SYSCOMMAND() \
    AFX_MESSAGE_ENTRY(WM_SYSCOMMAND, AFX_THIS->OnSysCommand(static_cast<UINT>(wParam), lParam); return 0;)
#define ON_WM_SETFOCUS() \
    AFX_MESSAGE_ENTRY(WM_SETFOCUS, AFX_THIS->OnSetFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam))); return 0;)
#define ON_WM_KILLFOCUS() \
    AFX_MESSAGE_ENTRY(WM_KILLFOCUS, AFX_THIS->OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam))); return 0;)
#define ON_WM_CAPTURECHANGED()                                                                                         \
    AFX_MESSAGE_ENTRY(WM_CAPTURECHANGED, AFX_THIS->OnCaptureChanged(CWnd::FromHandle(reinterpret_cast<HWND>(lParam))); \
                      return 0;)
#define ON_WM_SETCURSOR()                                                                                          \
    AFX_MESSAGE_ENTRY(WM_SETCURSOR, return AFX_THIS->OnSetCursor(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)), \
                                                                 LOWORD(lParam), HIWORD(lParam));)
#define ON_WM_MOUSEMOVE() \
    AFX_MESSAGE_ENTRY(WM_MOUSEMOVE, AFX_THIS->OnMouseMove(static_cast<UINT>(wParam), CPoint(lParam)); return 0;)
#define ON_WM_LBUTTONDOWN() \
    AFX_MESSAGE_ENTRY(WM_LBUTTONDOWN, AFX_THIS->OnLButtonDown(static_cast<UINT>(wParam), CPoint(lParam)); return 0;)
#define ON_WM_LBUTTONDBLCLK() \
    AFX_MESSAGE_ENTRY(WM_LBUTTONDBLCLK, AFX_THIS->OnLButtonDblClk(static_cast<UINT>(wParam), CPoint(lParam)); return 0;)
#define ON_WM_SYSCOLORCHANGE() AFX_MESSAGE_ENTRY(WM_SYSCOLORCHANGE, AFX_THIS->OnSysColorChange(); return 0;)
#define ON_WM_ACTIVATE()                                                                                             \
    AFX_MESSAGE_ENTRY(                                                                                               \
        WM_ACTIVATE,                                                                                                 \
        AFX_THIS->OnActivate(LOWORD(wParam), CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), HIWORD(wParam) != 0); \
        return 0;)
#define ON_WM_ENABLE() AFX_MESSAGE_ENTRY(WM_ENABLE, AFX_THIS->OnEnable(static_cast<BOOL>(wParam)); return 0;)
#define ON_WM_CANCELMODE() AFX_MESSAGE_ENTRY(WM_CANCELMODE, AFX_THIS->OnCancelMode(); return 0;)

// The root of every message map.
class CCmdTarget {
public:
    CCmdTarget() = default;
    virtual ~CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    // Routes a command (WM_COMMAND or WM_NOTIFY) through the map chain.
    // TRUE when an entry handled it.
    virtual BOOL OnCmdMsg(UINT id, int code, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // The first entry of the chain for this message, code and id, or null.
    static const AFX_MSGMAP_ENTRY* FindEntry(const AFX_MSGMAP* map, UINT message, UINT code, UINT id);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

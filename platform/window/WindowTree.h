// The layer's own tree of windows: one record per window handle, kept on the
// UI thread. Only the code of platform/ uses this header.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/strings/CString.h"
#include "platform/window/WinUser.h"

class CWnd;

namespace zq {
namespace win {

enum class WindowKind { Plain, Dialog, Button, Static, ComboBox, Edit, Progress, ToolTip };

struct Window {
    HWND hwnd = nullptr;
    WindowKind kind = WindowKind::Plain;
    std::string className;
    CString text;
    DWORD style = 0;
    DWORD exStyle = 0;
    int id = 0;
    HWND parent = nullptr;       // parent of a child, owner of a top-level window
    std::vector<HWND> children;  // in creation order, which is the z-order
    RECT rect = {0, 0, 0, 0};    // in the parent's client coordinates; screen for top-levels
    CWnd* object = nullptr;
    bool destroying = false;

    // Painting.
    bool invalid = false;
    bool erase = false;
    RECT update = {0, 0, 0, 0};  // client coordinates

    // Control state.
    int check = BST_UNCHECKED;
    bool pushed = false;         // a push button held down by the mouse or the space key
    std::vector<CString> items;  // combo box list
    int curSel = -1;
    int rangeMin = 0, rangeMax = 100, pos = 0;
    COLORREF barColor = CLR_DEFAULT, bkColor = CLR_DEFAULT;
    int maxTipWidth = -1;
    bool tipActive = true;
    HFONT font = nullptr;
    HICON iconBig = nullptr, iconSmall = nullptr;

    // The modal loop that runs this window, when it is a modal dialog.
    bool modalEnded = false;
    INT_PTR modalResult = 0;

    void* native = nullptr;   // the backend's counterpart
    void* surface = nullptr;  // a top-level window's pixels (cairo image surface)
    bool IsChild() const { return (style & WS_CHILD) != 0; }
};

// The record of a live window, or null. UI thread.
Window* Find(HWND hwnd);
// Creates a window record; the object receives its messages from now on.
// WM_CREATE is sent; a window whose WM_CREATE answers -1 is destroyed again
// and null is returned.
HWND Create(const std::string& className, LPCSTR text, DWORD style, DWORD exStyle, const RECT& rect, HWND parent,
            int id, CWnd* object, LPVOID createParam);
// Attaches another object to a window; returns the previous one.
CWnd* SetObject(HWND hwnd, CWnd* object);
WindowKind KindOfClass(const std::string& className);
// The top-level window that holds the window (itself for a top-level one).
Window* TopLevel(Window* w);
// The window's client origin in screen coordinates.
POINT ClientOrigin(Window* w);
bool IsEffectivelyVisible(Window* w);
// TRUE when hwnd is root or a child (at any depth) of root.
bool InSubtreeOf(HWND root, HWND hwnd);
bool IsEffectivelyEnabled(Window* w);
// The UI thread: the thread that created the first window, while windows
// exist. OnUiThread is also true on every thread while there is none;
// IsUiThread only on that thread, and UiThreadKnown tells whether there is
// one.
bool OnUiThread();
bool IsUiThread();
bool UiThreadKnown();

// The class procedure of the layer's standard controls and windows.
LRESULT ClassProc(Window* w, UINT message, WPARAM wParam, LPARAM lParam);

// Runs a modal loop until the window's modal loop is ended or the window is
// gone; returns the result given to EndDialog (or -1).
INT_PTR RunModalLoop(HWND hwnd);
void EndModalLoop(HWND hwnd, INT_PTR result);
// Runs a modal loop until done() is true: message boxes, file dialog.
void RunModalUntil(const std::function<bool()>& done);

// The default WM_PAINT (owner-drawn buttons ask their parent to draw them;
// every window is validated) and WM_ERASEBKGND (the dialog face colour).
LRESULT DefaultPaint(Window* w);
LRESULT DefaultErase(Window* w, HDC dc);

// Frees a top-level window's pixels when it goes.
void ReleaseSurface(Window* w);
// The pixels of a top-level window (a cairo_surface_t*), made on demand in
// the size of its client area; null for a child.
void* TopLevelSurface(Window* top);

// TRUE when some window waits for WM_PAINT.
bool PaintPending();

// Deletes an object the layer made, once no message of it is being handled.
void DeleteLayerObject(CWnd* object);
// The object the layer makes for a control of a template: a CButton for a
// button, a CComboBox for a combo box, and so on.
CWnd* MakeLayerObject(WindowKind kind);

}  // namespace win
}  // namespace zq

// The window system's access to the parts of CWnd it drives.
struct ZqWindowAccess {
    // The window of the object is gone: the object lets go of the handle and
    // gets its PostNcDestroy.
    static void Destroyed(CWnd* object);
    static void SetLayerOwned(CWnd* object, bool owned);
};

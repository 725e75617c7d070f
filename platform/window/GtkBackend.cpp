// The GTK side of the window system: one GTK top-level per dialog and
// message box. A top-level's client area is a drawing area that shows the
// window's composed software surface (its own painting and its owner-drawn
// children); the standard controls are real GTK widgets at their template
// positions, sized to their rectangles by CSS. Message boxes and the file
// chooser are GTK's. The main loop is GTK's: GetMessageA iterates it, and a
// message posted from a worker wakes it with g_idle_add.
#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#endif

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "platform/base/DebugChannel.h"
#include "platform/base/FatalEnd.h"
#include "platform/gdi/WindowSurface.h"
#include "platform/paths/DrivePaths.h"
#include "platform/strings/Codepage.h"
#include "platform/window/Backend.h"
#include "platform/window/GtkBackend.h"
#include "platform/window/NativeBackend.h"

namespace zq {
namespace win {
namespace {

struct Native {
    GtkWidget* window = nullptr;  // top-levels
    GtkWidget* fixed = nullptr;
    GtkWidget* area = nullptr;
    GtkWidget* widget = nullptr;  // standard controls
    HWND hwnd = nullptr;
    bool quiet = false;  // changes made by the layer, not by the user
};

std::string Utf8(const CString& text)
{
    return Cp1252ToUtf8(text.Bytes());
}

Native* NativeOf(Window* w)
{
    return w ? static_cast<Native*>(w->native) : nullptr;
}

gboolean NoOp(gpointer)
{
    return G_SOURCE_REMOVE;
}

class GtkBackend;
GtkBackend* g_gtk = nullptr;

// GTK is made for the one thread that initialised it. Every way into it
// passes here first: from any other thread the entry is told on the debug
// channel's window area and refused, so that no second thread drives the
// main loop or a widget.
std::thread::id g_gtkThread;
std::atomic<int> g_foreignEntries{0};

bool OnGtkThread(const char* entry)
{
    if (std::this_thread::get_id() == g_gtkThread)
        return true;
    ++g_foreignEntries;
    DebugPrintf(DebugArea::Window, "GTK entered from a thread that is not the UI thread (%s): refused", entry);
    return false;
}
// The working folder that the program was started in. Start-up makes the
// program folder the current directory; the file chooser opens here, where
// the user stood, as Linux programs do.
std::string g_startFolder;

class GtkBackend : public Backend {
public:
    GtkBackend()
    {
        // The controls use the dialog font (MS Shell Dlg 8 point is Tahoma at
        // 11 pixels) and take their rectangles, not the theme's minimum sizes.
        m_baseCss = gtk_css_provider_new();
        gtk_css_provider_load_from_data(
            m_baseCss,
            ".zq-control, .zq-control * { font-family: Tahoma, \"DejaVu Sans\", sans-serif; font-size: 11px; }\n"
            "button.zq-control, entry.zq-control, combobox.zq-control entry, combobox.zq-control button"
            " { min-width: 0; }\n"
            "progressbar.zq-control trough, progressbar.zq-control progress { min-width: 0; }\n"
            // Buttons and the combo box's field take their rectangle's
            // height. These rules are the same for every control, so they
            // live here: reloading a provider restyles every widget, and
            // the first page would pay for it once per control.
            "button.zq-control, combobox.zq-control entry, combobox.zq-control button"
            " { min-height: 0; padding-top: 0; padding-bottom: 0; }\n",
            -1, nullptr);
        gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(m_baseCss),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        m_css = gtk_css_provider_new();
        gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(m_css),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        GdkRectangle area = {0, 0, 1280, 1024};
        GdkDisplay* display = gdk_display_get_default();
        if (GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr)
            gdk_monitor_get_workarea(monitor, &area);
        else if (display && gdk_display_get_n_monitors(display) > 0)
            gdk_monitor_get_workarea(gdk_display_get_monitor(display, 0), &area);
        m_screen = SIZE{area.width, area.height};
        gdi::SetScreenSize(area.width, area.height);
    }

    bool WaitForEvents(int timeoutMs) override
    {
        if (!OnGtkThread("main loop"))
            return false;
        if (timeoutMs < 0) {
            g_main_context_iteration(nullptr, TRUE);
            return true;
        }
        bool fired = false;
        guint id = g_timeout_add(static_cast<guint>(timeoutMs), &GtkBackend::TimeoutFired, &fired);
        g_main_context_iteration(nullptr, TRUE);
        if (!fired)
            g_source_remove(id);
        return true;
    }

    void Wake() override { g_idle_add(NoOp, nullptr); }

    void Created(Window* w) override
    {
        if (!OnGtkThread("window made"))
            return;
        auto* n = new Native;
        n->hwnd = w->hwnd;
        w->native = n;
        if (!w->IsChild()) {
            if (w->kind == WindowKind::ToolTip)
                return;
            MakeTopLevel(w, n);
        } else {
            MakeControl(w, n);
        }
    }

    void Destroyed(Window* w) override
    {
        if (!OnGtkThread("window destroyed"))
            return;
        Native* n = NativeOf(w);
        if (!n)
            return;
        n->quiet = true;
        if (n->widget) {
            gtk_widget_destroy(n->widget);
            g_object_unref(n->widget);
            m_rules.erase(w->hwnd);
        }
        if (n->window)
            gtk_widget_destroy(n->window);
        w->native = nullptr;
        delete n;
    }

    void Changed(Window* w, Change what) override
    {
        if (!OnGtkThread("window changed"))
            return;
        Native* n = NativeOf(w);
        if (!n)
            return;
        n->quiet = true;
        if (n->window)
            TopLevelChanged(w, n, what);
        else if (w->IsChild())
            ControlChanged(w, n, what);
        n->quiet = false;
    }

    void Drawn(Window* top, const RECT& r) override
    {
        if (!OnGtkThread("window drawn"))
            return;
        Native* n = NativeOf(top);
        if (n && n->area)
            gtk_widget_queue_draw_area(n->area, r.left, r.top, r.right - r.left, r.bottom - r.top);
    }

    int MessageBox(const MessageBoxCall& call) override;
    bool OpenFileDialog(HWND owner, const std::vector<FileFilter>& filters, CString* path) override;
    POINT CursorPos() override { return m_cursor; }
    SIZE ScreenSize() override { return m_screen; }

    GtkWindow* TopWindowOf(HWND hwnd)
    {
        Native* n = NativeOf(TopLevel(Find(hwnd)));
        return n && n->window ? GTK_WINDOW(n->window) : nullptr;
    }

private:
    static gboolean TimeoutFired(gpointer data)
    {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
    }

    // ---- Top-level windows

    void MakeTopLevel(Window* w, Native* n)
    {
        n->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(n->window), Utf8(w->text).c_str());
        gtk_window_set_resizable(GTK_WINDOW(n->window), FALSE);
        if (!(w->exStyle & WS_EX_APPWINDOW) && w->parent)
            gtk_window_set_skip_taskbar_hint(GTK_WINDOW(n->window), TRUE);
        if (GtkWindow* owner = w->parent ? TopWindowOf(w->parent) : nullptr) {
            gtk_window_set_transient_for(GTK_WINDOW(n->window), owner);
            gtk_window_set_modal(GTK_WINDOW(n->window), TRUE);
        }
        n->fixed = gtk_fixed_new();
        gtk_container_add(GTK_CONTAINER(n->window), n->fixed);
        n->area = gtk_drawing_area_new();
        // The area takes the keyboard focus while an owner-drawn control has
        // the layer's focus, so no GTK field goes on taking the keys.
        gtk_widget_set_can_focus(n->area, TRUE);
        gtk_widget_add_events(n->area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                           GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK);
        gtk_fixed_put(GTK_FIXED(n->fixed), n->area, 0, 0);
        SizeTopLevel(w, n);
        g_signal_connect(n->area, "draw", G_CALLBACK(&GtkBackend::OnDraw), n);
        g_signal_connect(n->area, "motion-notify-event", G_CALLBACK(&GtkBackend::OnMotion), n);
        g_signal_connect(n->area, "button-press-event", G_CALLBACK(&GtkBackend::OnButton), n);
        g_signal_connect(n->area, "button-release-event", G_CALLBACK(&GtkBackend::OnButton), n);
        g_signal_connect(n->area, "enter-notify-event", G_CALLBACK(&GtkBackend::OnCrossing), n);
        g_signal_connect(n->area, "leave-notify-event", G_CALLBACK(&GtkBackend::OnCrossing), n);
        g_signal_connect(n->window, "delete-event", G_CALLBACK(&GtkBackend::OnDelete), n);
        g_signal_connect(n->window, "key-press-event", G_CALLBACK(&GtkBackend::OnKey), n);
        g_signal_connect(n->window, "key-release-event", G_CALLBACK(&GtkBackend::OnKey), n);
        g_signal_connect(n->window, "focus-out-event", G_CALLBACK(&GtkBackend::OnFocusOut), n);
        g_signal_connect(n->window, "window-state-event", G_CALLBACK(&GtkBackend::OnWindowState), n);
        gtk_widget_show_all(n->fixed);
        if (w->style & WS_VISIBLE)
            TopLevelChanged(w, n, Change::Visible);
    }

    void SizeTopLevel(Window* w, Native* n)
    {
        int width = std::max<int>(1, w->rect.right - w->rect.left);
        int height = std::max<int>(1, w->rect.bottom - w->rect.top);
        gtk_widget_set_size_request(n->area, width, height);
        gtk_window_move(GTK_WINDOW(n->window), w->rect.left, w->rect.top);
        gtk_window_resize(GTK_WINDOW(n->window), width, height);
    }

    void TopLevelChanged(Window* w, Native* n, Change what)
    {
        switch (what) {
        case Change::Text:
            gtk_window_set_title(GTK_WINDOW(n->window), Utf8(w->text).c_str());
            break;
        case Change::Geometry:
            SizeTopLevel(w, n);
            break;
        case Change::Visible:
            if (!(w->style & WS_VISIBLE)) {
                gtk_widget_hide(n->window);
                // The program may wait right after a hide (a closing window
                // waits for its worker): the unmap must reach the display now.
                gdk_display_flush(gtk_widget_get_display(n->window));
            } else if (w->style & WS_MINIMIZE) {
                gtk_window_iconify(GTK_WINDOW(n->window));
            } else {
                gtk_widget_show(n->window);
                gtk_window_deiconify(GTK_WINDOW(n->window));
                gtk_window_present(GTK_WINDOW(n->window));
            }
            break;
        case Change::Icon: {
            HICON icon = w->iconBig ? w->iconBig : w->iconSmall;
            int width = 0, height = 0;
            std::vector<uint32_t> argb;
            if (icon && gdi::IconPixels(icon, &width, &height, &argb)) {
                GdkPixbuf* pixbuf = PixbufFromArgb(width, height, argb);
                gtk_window_set_icon(GTK_WINDOW(n->window), pixbuf);
                g_object_unref(pixbuf);
            }
            break;
        }
        default:
            break;
        }
    }

    static GdkPixbuf* PixbufFromArgb(int width, int height, const std::vector<uint32_t>& argb)
    {
        GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
        guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
        int stride = gdk_pixbuf_get_rowstride(pixbuf);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint32_t p = argb[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
                guchar* d = pixels + y * stride + x * 4;
                d[0] = static_cast<guchar>(p >> 16);
                d[1] = static_cast<guchar>(p >> 8);
                d[2] = static_cast<guchar>(p);
                d[3] = static_cast<guchar>(p >> 24);
            }
        }
        return pixbuf;
    }

    static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data)
    {
        auto* n = static_cast<Native*>(data);
        Window* w = Find(n->hwnd);
        if (!w)
            return FALSE;
        auto* surface = static_cast<cairo_surface_t*>(TopLevelSurface(w));
        if (!surface)
            return FALSE;
        cairo_surface_flush(surface);
        cairo_set_source_surface(cr, surface, 0, 0);
        cairo_paint(cr);
        return TRUE;
    }

    static void Pointer(Native* n, UINT message, double x, double y, guint state)
    {
        Window* w = Find(n->hwnd);
        if (!w)
            return;
        POINT client = {static_cast<LONG>(x), static_cast<LONG>(y)};
        POINT origin = ClientOrigin(w);
        g_gtk->m_cursor = POINT{origin.x + client.x, origin.y + client.y};
        UINT flags = 0;
        if (state & GDK_BUTTON1_MASK)
            flags |= MK_LBUTTON;
        if (state & GDK_SHIFT_MASK)
            flags |= MK_SHIFT;
        if (state & GDK_CONTROL_MASK)
            flags |= MK_CONTROL;
        RouteMouse(n->hwnd, message, client, flags);
    }

    static gboolean OnMotion(GtkWidget*, GdkEventMotion* e, gpointer data)
    {
        Pointer(static_cast<Native*>(data), WM_MOUSEMOVE, e->x, e->y, e->state);
        return TRUE;
    }

    static gboolean OnButton(GtkWidget*, GdkEventButton* e, gpointer data)
    {
        // GTK's own double-click events come in addition to the second
        // press; the layer finds double clicks itself.
        if (e->button != 1 || e->type == GDK_2BUTTON_PRESS || e->type == GDK_3BUTTON_PRESS)
            return TRUE;
        UINT message = e->type == GDK_BUTTON_PRESS ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        Pointer(static_cast<Native*>(data), message, e->x, e->y, e->state);
        return TRUE;
    }

    static gboolean OnCrossing(GtkWidget*, GdkEventCrossing* e, gpointer data)
    {
        // Windows has no leave message: a window that captured the mouse sees
        // moves anywhere. A move at the crossing point lets it notice that
        // the pointer went onto a GTK control or out of the window.
        if (e->mode != GDK_CROSSING_NORMAL || e->detail == GDK_NOTIFY_INFERIOR)
            return FALSE;
        auto* n = static_cast<Native*>(data);
        Pointer(n, WM_MOUSEMOVE, e->x, e->y, e->state);
        // Out of the window with no button held, a capture that only tracks
        // the pointer ends: on Windows the point lies over another window
        // then, here over none the layer knows.
        GtkAllocation a;
        gtk_widget_get_allocation(n->area, &a);
        bool outside = e->x < 0 || e->y < 0 || e->x >= a.width || e->y >= a.height;
        if (e->type == GDK_LEAVE_NOTIFY && outside && !(e->state & GDK_BUTTON1_MASK)) {
            if (HWND capture = GetCapture())
                PostMessageA(capture, WM_CANCELMODE, 0, 0);
        }
        return FALSE;
    }

    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data)
    {
        // The close box is the system menu's Close, as on Windows.
        auto* n = static_cast<Native*>(data);
        PostMessageA(n->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return TRUE;
    }

    static UINT VirtualKey(guint keyval)
    {
        switch (keyval) {
        case GDK_KEY_Escape:
            return VK_ESCAPE;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter:
            return VK_RETURN;
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
            return VK_TAB;
        case GDK_KEY_space:
            return VK_SPACE;
        case GDK_KEY_BackSpace:
            return VK_BACK;
        case GDK_KEY_Left:
            return 0x25;
        case GDK_KEY_Up:
            return 0x26;
        case GDK_KEY_Right:
            return 0x27;
        case GDK_KEY_Down:
            return 0x28;
        default:
            break;
        }
        if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z)
            return static_cast<UINT>('A' + (keyval - GDK_KEY_a));
        if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z)
            return static_cast<UINT>('A' + (keyval - GDK_KEY_A));
        if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9)
            return static_cast<UINT>('0' + (keyval - GDK_KEY_0));
        return 0;
    }

    static gboolean OnKey(GtkWidget* widget, GdkEventKey* e, gpointer data)
    {
        // Escape and Return are the dialog's (its PreTranslateMessage sees
        // them first); they never reach the focused GTK widget. Other keys
        // go to the layer while the focus is on an owner-drawn control (the
        // drawing area), else to the focused GTK control.
        auto* n = static_cast<Native*>(data);
        UINT vk = VirtualKey(e->keyval);
        if (!vk)
            return FALSE;
        GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(widget));
        bool dialogKey = vk == VK_ESCAPE || vk == VK_RETURN;
        if (!dialogKey && focus && focus != n->area)
            return FALSE;
        // The dialog keys act on the press alone, as before.
        if (dialogKey && e->type != GDK_KEY_PRESS)
            return TRUE;
        RouteKey(e->type == GDK_KEY_PRESS ? WM_KEYDOWN : WM_KEYUP, vk);
        return TRUE;
    }

    static gboolean OnFocusOut(GtkWidget*, GdkEvent*, gpointer)
    {
        // Another application took the pointer and keyboard: a capture ends.
        if (HWND capture = GetCapture())
            PostMessageA(capture, WM_CANCELMODE, 0, 0);
        return FALSE;
    }

    // ---- Standard controls

    bool WantsWidget(Window* w)
    {
        switch (w->kind) {
        case WindowKind::Button:
            return (w->style & BS_TYPEMASK) != BS_OWNERDRAW;
        case WindowKind::Static:
        case WindowKind::ComboBox:
        case WindowKind::Edit:
        case WindowKind::Progress:
            return true;
        default:
            return false;
        }
    }

    // The GTK widget of a standard control, its signals connected; null for
    // a kind that has none.
    GtkWidget* NewControlWidget(Window* w, Native* n)
    {
        GtkWidget* widget = nullptr;
        switch (w->kind) {
        case WindowKind::Button: {
            UINT type = w->style & BS_TYPEMASK;
            if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE) {
                widget = gtk_check_button_new_with_label(Utf8(w->text).c_str());
                g_signal_connect(widget, "toggled", G_CALLBACK(&GtkBackend::OnClicked), n);
            } else {
                widget = gtk_button_new_with_label(Utf8(w->text).c_str());
                g_signal_connect(widget, "clicked", G_CALLBACK(&GtkBackend::OnClicked), n);
            }
            break;
        }
        case WindowKind::Static:
            if ((w->style & 0x1F) == SS_ICON) {
                widget = gtk_image_new();
            } else {
                widget = gtk_label_new(Utf8(w->text).c_str());
                gtk_label_set_xalign(GTK_LABEL(widget), (w->style & 0x3) == SS_CENTER ? 0.5f : 0.0f);
                gtk_label_set_yalign(GTK_LABEL(widget), 0.0f);
                gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
            }
            break;
        case WindowKind::ComboBox:
            widget = gtk_combo_box_text_new_with_entry();
            g_signal_connect(widget, "changed", G_CALLBACK(&GtkBackend::OnComboChanged), n);
            // Typing into the field changes the window text too.
            g_signal_connect(gtk_bin_get_child(GTK_BIN(widget)), "changed", G_CALLBACK(&GtkBackend::OnEntryChanged), n);
            // GTK's field asks for 150 pixels otherwise.
            gtk_entry_set_width_chars(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(widget))), 1);
            break;
        case WindowKind::Edit:
            widget = gtk_entry_new();
            gtk_entry_set_width_chars(GTK_ENTRY(widget), 1);
            break;
        case WindowKind::Progress:
            widget = gtk_progress_bar_new();
            break;
        default:
            break;
        }
        return widget;
    }

    // A standard control gets its widget on the top-level window's fixed
    // container, at the control's place, in the control's state.
    void MakeControl(Window* w, Native* n)
    {
        if (!WantsWidget(w))
            return;
        Window* top = TopLevel(w);
        Native* tn = NativeOf(top);
        if (!tn || !tn->fixed)
            return;
        n->widget = NewControlWidget(w, n);
        if (!n->widget)
            return;
        g_object_ref_sink(n->widget);
        std::string name = "zq" + std::to_string(reinterpret_cast<uintptr_t>(w->hwnd));
        gtk_widget_set_name(n->widget, name.c_str());
        gtk_style_context_add_class(gtk_widget_get_style_context(n->widget), "zq-control");
        // The user putting the focus on a control moves the layer's focus.
        GtkWidget* focusable = w->kind == WindowKind::ComboBox ? gtk_bin_get_child(GTK_BIN(n->widget)) : n->widget;
        g_signal_connect(focusable, "focus-in-event", G_CALLBACK(&GtkBackend::OnControlFocusIn), n);
        POINT o = ClientOrigin(w), t = ClientOrigin(top);
        gtk_fixed_put(GTK_FIXED(tn->fixed), n->widget, o.x - t.x, o.y - t.y);
        SizeControl(w, n);
        ControlChanged(w, n, Change::Visible);
        ControlChanged(w, n, Change::Enabled);
        ControlChanged(w, n, Change::Items);
        ControlChanged(w, n, Change::Progress);
    }

    void SizeControl(Window* w, Native* n)
    {
        int width = std::max<int>(1, w->rect.right - w->rect.left);
        int height = std::max<int>(1, w->rect.bottom - w->rect.top);
        // A combo box's rectangle holds its drop-down list too; the field is
        // one line high, as on Windows.
        if (w->kind == WindowKind::ComboBox)
            height = std::min(height, 21);
        gtk_widget_set_size_request(n->widget, width, height);
        std::string name = "#zq" + std::to_string(reinterpret_cast<uintptr_t>(w->hwnd));
        std::string h = std::to_string(height) + "px";
        std::string css;
        switch (w->kind) {
        case WindowKind::Progress: {
            // Adwaita draws a 4 pixel strip; here the trough (1 pixel border)
            // and the bar in it (1 pixel border) fill the rectangle.
            css = name + " trough { min-height: " + std::to_string(std::max(0, height - 2)) + "px; }\n" + name +
                  " progress { min-height: " + std::to_string(std::max(0, height - 4)) + "px; margin: 0; }\n";
            if (w->bkColor != CLR_DEFAULT)
                css += name + " trough { background-color: " + CssColour(w->bkColor) + "; background-image: none; }\n";
            if (w->barColor != CLR_DEFAULT)
                css += name + " progress { background-color: " + CssColour(w->barColor) +
                       "; background-image: none; }\n";
            break;
        }
        default:
            break;
        }
        if (!css.empty() && m_rules[w->hwnd] != css) {
            m_rules[w->hwnd] = css;
            ReloadCss();
        }
    }

    static std::string CssColour(COLORREF c)
    {
        char text[16];
        snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned>(c & 0xFF),
                 static_cast<unsigned>((c >> 8) & 0xFF), static_cast<unsigned>((c >> 16) & 0xFF));
        return text;
    }

    void ReloadCss()
    {
        std::string all;
        for (const auto& rule : m_rules)
            all += rule.second;
        gtk_css_provider_load_from_data(m_css, all.c_str(), -1, nullptr);
    }

    // A button that became owner-drawn is drawn by the program now: its
    // widget goes.
    void DropWidget(Window* w, Native* n)
    {
        gtk_widget_destroy(n->widget);
        g_object_unref(n->widget);
        n->widget = nullptr;
        if (m_rules.erase(w->hwnd))
            ReloadCss();
        InvalidateRect(w->hwnd, nullptr, TRUE);
    }

    void ShowText(Window* w, Native* n)
    {
        if (w->kind == WindowKind::Button)
            gtk_button_set_label(GTK_BUTTON(n->widget), Utf8(w->text).c_str());
        else if (w->kind == WindowKind::Static && GTK_IS_LABEL(n->widget))
            gtk_label_set_text(GTK_LABEL(n->widget), Utf8(w->text).c_str());
        else if (w->kind == WindowKind::ComboBox) {
            GtkWidget* entry = gtk_bin_get_child(GTK_BIN(n->widget));
            gtk_entry_set_text(GTK_ENTRY(entry), Utf8(w->text).c_str());
        } else if (w->kind == WindowKind::Edit)
            gtk_entry_set_text(GTK_ENTRY(n->widget), Utf8(w->text).c_str());
    }

    // The widget at the window's place in its top-level window, at its size.
    void PlaceWidget(Window* w, Native* n)
    {
        Window* top = TopLevel(w);
        Native* tn = NativeOf(top);
        if (tn && tn->fixed) {
            POINT o = ClientOrigin(w), t = ClientOrigin(top);
            gtk_fixed_move(GTK_FIXED(tn->fixed), n->widget, o.x - t.x, o.y - t.y);
        }
        SizeControl(w, n);
    }

    void ShowItems(Window* w, Native* n)
    {
        if (w->kind != WindowKind::ComboBox)
            return;
        GtkComboBoxText* box = GTK_COMBO_BOX_TEXT(n->widget);
        gtk_combo_box_text_remove_all(box);
        for (const CString& item : w->items)
            gtk_combo_box_text_append_text(box, Utf8(item).c_str());
        if (w->curSel >= 0)
            gtk_combo_box_set_active(GTK_COMBO_BOX(box), w->curSel);
        GtkWidget* entry = gtk_bin_get_child(GTK_BIN(n->widget));
        gtk_entry_set_text(GTK_ENTRY(entry), Utf8(w->text).c_str());
    }

    void ShowProgress(Window* w, Native* n)
    {
        if (w->kind != WindowKind::Progress)
            return;
        double span = w->rangeMax - w->rangeMin;
        double fraction = span > 0 ? (w->pos - w->rangeMin) / span : 0.0;
        gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(n->widget), fraction);
        SizeControl(w, n);  // PBM_SETBKCOLOR, PBM_SETBARCOLOR
    }

    void ShowIcon(Window* w, Native* n)
    {
        if (!GTK_IS_IMAGE(n->widget))
            return;
        int width = 0, height = 0;
        std::vector<uint32_t> argb;
        if (w->iconBig && gdi::IconPixels(w->iconBig, &width, &height, &argb)) {
            GdkPixbuf* pixbuf = PixbufFromArgb(width, height, argb);
            gtk_image_set_from_pixbuf(GTK_IMAGE(n->widget), pixbuf);
            g_object_unref(pixbuf);
        }
    }

    void ControlChanged(Window* w, Native* n, Change what)
    {
        if (what == Change::Style && n->widget && w->kind == WindowKind::Button && !WantsWidget(w)) {
            DropWidget(w, n);
            return;
        }
        if (!n->widget) {
            // A control the program draws takes the focus in its top-level
            // window's drawing area.
            if (what == Change::Focus) {
                Native* tn = NativeOf(TopLevel(w));
                if (tn && tn->area && GetFocus() == w->hwnd)
                    gtk_widget_grab_focus(tn->area);
            }
            return;
        }
        switch (what) {
        case Change::Text:
            ShowText(w, n);
            break;
        case Change::Visible:
            if (w->style & WS_VISIBLE)
                gtk_widget_show_all(n->widget);
            else
                gtk_widget_hide(n->widget);
            break;
        case Change::Enabled:
            gtk_widget_set_sensitive(n->widget, !(w->style & WS_DISABLED));
            break;
        case Change::Geometry:
            PlaceWidget(w, n);
            break;
        case Change::Items:
            ShowItems(w, n);
            break;
        case Change::Progress:
            ShowProgress(w, n);
            break;
        case Change::Check:
            if (GTK_IS_CHECK_BUTTON(n->widget))
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(n->widget), w->check == BST_CHECKED);
            break;
        case Change::Focus:
            gtk_widget_grab_focus(n->widget);
            break;
        case Change::Icon:
            ShowIcon(w, n);
            break;
        default:
            break;
        }
    }

    static void OnClicked(GtkWidget*, gpointer data)
    {
        auto* n = static_cast<Native*>(data);
        if (n->quiet)
            return;
        // A click is a queued event like any other input.
        PostMessageA(n->hwnd, BM_CLICK, 0, 0);
        // A check box shows the layer's state; the click changes it when the
        // box is an automatic one.
        Window* w = Find(n->hwnd);
        if (w && GTK_IS_CHECK_BUTTON(n->widget)) {
            n->quiet = true;
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(n->widget), w->check == BST_CHECKED);
            n->quiet = false;
        }
    }

    static gboolean OnControlFocusIn(GtkWidget*, GdkEvent*, gpointer data)
    {
        auto* n = static_cast<Native*>(data);
        if (n->quiet || !Find(n->hwnd) || GetFocus() == n->hwnd)
            return FALSE;
        n->quiet = true;
        ::SetFocus(n->hwnd);
        if (Window* w = Find(n->hwnd))
            static_cast<Native*>(w->native)->quiet = false;
        return FALSE;
    }

    // The window of a field whose change the layer is to hear of: none while
    // the layer itself changes the widget, nor once the window is gone.
    static Window* ChangedField(const Native* n)
    {
        if (n->quiet)
            return nullptr;
        return Find(n->hwnd);
    }

    // The index of the combo box's active item, or -1 when no item is active
    // (the field is being edited) or the list no longer holds it.
    static int ActiveItem(GtkComboBox* box, const Window* w)
    {
        int index = gtk_combo_box_get_active(box);
        return index >= 0 && index < static_cast<int>(w->items.size()) ? index : -1;
    }

    // A combo box's notification to its parent, as on Windows.
    static void NotifyParent(const Window* w, WORD code)
    {
        if (w->parent)
            PostMessageA(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(w->hwnd));
    }

    static void OnComboChanged(GtkComboBox* box, gpointer data)
    {
        Window* w = ChangedField(static_cast<Native*>(data));
        if (!w)
            return;
        // GTK also says "changed" for each edit of the field (no item
        // active then); edits are the field's own signal's.
        int index = ActiveItem(box, w);
        if (index < 0)
            return;
        w->curSel = index;
        w->text = w->items[static_cast<size_t>(index)];
        // A pick from the list is CBN_SELCHANGE to the parent.
        NotifyParent(w, CBN_SELCHANGE);
    }

    static void OnEntryChanged(GtkEntry* entry, gpointer data)
    {
        auto* n = static_cast<Native*>(data);
        Window* w = ChangedField(n);
        if (!w)
            return;
        CString text(Utf8ToCp1252(gtk_entry_get_text(entry)));
        if (w->kind == WindowKind::ComboBox) {
            // The field showing the item just picked is no edit.
            int index = ActiveItem(GTK_COMBO_BOX(n->widget), w);
            if (index >= 0 && w->items[static_cast<size_t>(index)] == text)
                return;
        }
        if (text == w->text)
            return;
        w->text = text;
        // Typing into a combo box's field is CBN_EDITCHANGE to the parent.
        if (w->kind == WindowKind::ComboBox) {
            w->curSel = -1;
            NotifyParent(w, CBN_EDITCHANGE);
        }
    }

    static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* e, gpointer data)
    {
        // Minimising through the window manager is seen as on Windows.
        auto* n = static_cast<Native*>(data);
        Window* w = Find(n->hwnd);
        if (!w || !(e->changed_mask & GDK_WINDOW_STATE_ICONIFIED))
            return FALSE;
        bool iconic = (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
        if (iconic)
            w->style |= WS_MINIMIZE;
        else
            w->style &= ~WS_MINIMIZE;
        if (!iconic)
            InvalidateRect(w->hwnd, nullptr, TRUE);
        return FALSE;
    }

    GtkCssProvider* m_baseCss = nullptr;
    GtkCssProvider* m_css = nullptr;
    std::map<HWND, std::string> m_rules;
    POINT m_cursor = {0, 0};
    SIZE m_screen = {1280, 1024};
};

// ---- Message boxes

struct BoxState {
    int answer = 0;
    bool done = false;
    bool escapeAllowed = true;
    // What Escape and the close box answer: Cancel, or OK in a box that
    // has only OK, as on Windows.
    int escapeAnswer = IDCANCEL;
};

void OnBoxResponse(GtkDialog*, gint response, gpointer data)
{
    auto* state = static_cast<BoxState*>(data);
    if (response == GTK_RESPONSE_DELETE_EVENT || response == GTK_RESPONSE_NONE) {
        if (!state->escapeAllowed)
            return;
        response = state->escapeAnswer;
    }
    state->answer = response;
    state->done = true;
    PostMessageA(nullptr, WM_NULL, 0, 0);
}

gboolean OnBoxKey(GtkWidget*, GdkEventKey* e, gpointer data)
{
    // A box without a Cancel button ignores Escape, as on Windows.
    auto* state = static_cast<BoxState*>(data);
    return e->keyval == GDK_KEY_Escape && !state->escapeAllowed;
}

// The close box gives its answer through "response"; the layer destroys the
// box itself when its loop ends.
gboolean KeepOnDelete(GtkWidget*, GdkEvent*, gpointer)
{
    return TRUE;
}

// The GTK kind and the icon of a box of this type (no icon: nullptr).
const char* BoxIcon(UINT type, GtkMessageType& kind)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONQUESTION:
        kind = GTK_MESSAGE_QUESTION;
        return "dialog-question";
    case MB_ICONEXCLAMATION:
        kind = GTK_MESSAGE_WARNING;
        return "dialog-warning";
    case MB_ICONHAND:
        kind = GTK_MESSAGE_ERROR;
        return "dialog-error";
    case MB_ICONASTERISK:
        kind = GTK_MESSAGE_INFO;
        return "dialog-information";
    default:
        kind = GTK_MESSAGE_OTHER;
        return nullptr;
    }
}

const char* ButtonLabel(int answer)
{
    switch (answer) {
    case IDCANCEL:
        return "Cancel";
    case IDYES:
        return "_Yes";
    case IDNO:
        return "_No";
    case IDRETRY:
        return "_Retry";
    case IDABORT:
        return "_Abort";
    case IDIGNORE:
        return "_Ignore";
    default:
        return "OK";
    }
}

// The buttons of a box of this type with their labels and answers, and
// whether Escape may answer it: only a box with Cancel, or with OK alone, as
// on Windows.
std::vector<std::pair<const char*, int>> BoxButtons(UINT type, BoxState& box)
{
    const std::vector<int> answers = MessageBoxButtons(type);
    std::vector<std::pair<const char*, int>> buttons;
    for (int answer : answers)
        buttons.emplace_back(ButtonLabel(answer), answer);
    if (answers.size() == 1)
        box.escapeAnswer = answers[0];
    else if (std::find(answers.begin(), answers.end(), IDCANCEL) == answers.end())
        box.escapeAllowed = false;
    return buttons;
}

int GtkBackend::MessageBox(const MessageBoxCall& call)
{
    if (!OnGtkThread("message box"))
        return UnshownMessageBoxAnswer(call.type);
    GtkMessageType kind = GTK_MESSAGE_OTHER;
    const char* iconName = BoxIcon(call.type, kind);
    GtkWindow* owner = call.owner ? TopWindowOf(call.owner) : nullptr;
    GtkWidget* dialog = gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, kind, GTK_BUTTONS_NONE, "%s",
                                               Utf8(call.text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), Utf8(call.caption).c_str());
    gtk_window_set_position(GTK_WINDOW(dialog), owner ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    if (iconName) {
        // GTK shows no icon in a message box unless it is given one.
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        GtkWidget* image = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DIALOG);
        gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), image);
        gtk_widget_show(image);
        G_GNUC_END_IGNORE_DEPRECATIONS
    }
    BoxState state;
    std::vector<std::pair<const char*, int>> buttons = BoxButtons(call.type, state);
    for (const auto& b : buttons)
        gtk_dialog_add_button(GTK_DIALOG(dialog), b.first, b.second);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), DefaultMessageBoxAnswer(call.type));
    if (!state.escapeAllowed)
        gtk_window_set_deletable(GTK_WINDOW(dialog), FALSE);
    g_signal_connect(dialog, "response", G_CALLBACK(OnBoxResponse), &state);
    g_signal_connect(dialog, "key-press-event", G_CALLBACK(OnBoxKey), &state);
    g_signal_connect(dialog, "delete-event", G_CALLBACK(KeepOnDelete), nullptr);
    gtk_widget_show(dialog);
    if (GtkWidget* def = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), DefaultMessageBoxAnswer(call.type)))
        gtk_widget_grab_focus(def);
    RunModalUntil([&] { return state.done; });
    gtk_widget_destroy(dialog);
    return state.done ? state.answer : DefaultMessageBoxAnswer(call.type);
}

// ---- The file chooser

struct ChooserState {
    int response = GTK_RESPONSE_NONE;
    bool done = false;
};

void OnChooserResponse(GtkDialog*, gint response, gpointer data)
{
    auto* state = static_cast<ChooserState*>(data);
    state->response = response;
    state->done = true;
    PostMessageA(nullptr, WM_NULL, 0, 0);
}

void OnChooserMap(GtkWidget* widget, gpointer)
{
    // GTK's chooser opens larger than a small screen; fit it after it maps
    // and centre it over its owner.
    GdkRectangle area = {0, 0, 800, 600};
    if (GdkMonitor* m = gdk_display_get_monitor_at_window(gdk_display_get_default(), gtk_widget_get_window(widget)))
        gdk_monitor_get_workarea(m, &area);
    int width = std::min(760, area.width - 40);
    int height = std::min(520, area.height - 60);
    gtk_window_resize(GTK_WINDOW(widget), width, height);
    int x = area.x + (area.width - width) / 2;
    int y = area.y + (area.height - height) / 2;
    if (GtkWindow* parent = gtk_window_get_transient_for(GTK_WINDOW(widget))) {
        int px, py, pw, ph;
        gtk_window_get_position(parent, &px, &py);
        gtk_window_get_size(parent, &pw, &ph);
        x = px + (pw - width) / 2;
        y = py + (ph - height) / 2;
    }
    x = std::max(area.x, std::min(x, area.x + area.width - width));
    y = std::max(area.y, std::min(y, area.y + area.height - height));
    gtk_window_move(GTK_WINDOW(widget), x, y);
}

bool GtkBackend::OpenFileDialog(HWND owner, const std::vector<FileFilter>& filters, CString* path)
{
    if (!OnGtkThread("file dialog"))
        return false;
    GtkWindow* parent = owner ? TopWindowOf(owner) : nullptr;
    GtkWidget* chooser = gtk_file_chooser_dialog_new("Open", parent, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                     GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
    gtk_window_set_position(GTK_WINDOW(chooser), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    for (const FileFilter& f : filters) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, Cp1252ToUtf8(f.name).c_str());
        for (const std::string& p : f.patterns) {
            // Windows matches without regard to case.
            std::string lower = p, upper = p;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
            gtk_file_filter_add_pattern(filter, lower.c_str());
            if (upper != lower)
                gtk_file_filter_add_pattern(filter, upper.c_str());
        }
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    }
    // It starts in the folder the program was started in, not in "Recent".
    if (!g_startFolder.empty()) {
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), g_startFolder.c_str());
    } else if (gchar* cwd = g_get_current_dir()) {
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), cwd);
        g_free(cwd);
    }
    ChooserState state;
    g_signal_connect(chooser, "response", G_CALLBACK(OnChooserResponse), &state);
    g_signal_connect(chooser, "map", G_CALLBACK(OnChooserMap), nullptr);
    g_signal_connect(chooser, "delete-event", G_CALLBACK(KeepOnDelete), nullptr);
    gtk_widget_show(chooser);
    RunModalUntil([&] { return state.done; });
    bool ok = false;
    if (state.response == GTK_RESPONSE_ACCEPT) {
        if (gchar* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
            *path = CString(LinuxToWindows(Utf8ToCp1252(file)));
            g_free(file);
            ok = true;
        }
    }
    gtk_widget_destroy(chooser);
    // The chooser's folder model leaves many freed blocks behind; give them
    // back before the update runs, so they do not add to its peak.
    malloc_trim(0);
    return ok;
}

}  // namespace

bool NativeControlGeometry(HWND hwnd, RECT* allocation, std::vector<uint32_t>* pixels)
{
    if (!g_gtk || !OnGtkThread("control geometry"))
        return false;
    Native* n = NativeOf(Find(hwnd));
    if (!n || !n->widget || !gtk_widget_get_realized(n->widget))
        return false;
    GtkAllocation a;
    gtk_widget_get_allocation(n->widget, &a);
    if (allocation)
        SetRect(allocation, a.x, a.y, a.x + a.width, a.y + a.height);
    if (pixels && a.width > 0 && a.height > 0) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, a.width, a.height);
        cairo_t* cr = cairo_create(surface);
        gtk_widget_draw(n->widget, cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        pixels->assign(static_cast<size_t>(a.width) * static_cast<size_t>(a.height), 0);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        int stride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < a.height; ++y)
            memcpy(&(*pixels)[static_cast<size_t>(y) * static_cast<size_t>(a.width)], data + y * stride,
                   static_cast<size_t>(a.width) * 4);
        cairo_surface_destroy(surface);
    }
    return true;
}

namespace {

// Is there a session bus that the accessibility bridge can reach without
// starting one of its own? Without one the bridge forks dbus-launch at
// start, which costs several milliseconds and finds no screen reader.
bool SessionBusReachable()
{
    const char* address = getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return true;
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime)
        return false;
    struct stat st;
    return stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

#ifdef GDK_WINDOWING_X11
// GDK's own handler of a lost X connection (the server ended, the session
// logged out) ends the program at once, with no exit handler: the actions of
// a fatal end run first, so the children end and the ports are given back.
XIOErrorHandler g_gdkIoErrorHandler = nullptr;

int OnDisplayLost(Display* display)
{
    RunFatalEndActions();
    if (g_gdkIoErrorHandler)
        return g_gdkIoErrorHandler(display);
    _exit(1);
}

void HookDisplayLoss()
{
    if (!GDK_IS_X11_DISPLAY(gdk_display_get_default()))
        return;
    XIOErrorHandler previous = XSetIOErrorHandler(OnDisplayLost);
    if (previous != OnDisplayLost)
        g_gdkIoErrorHandler = previous;
}
#else
void HookDisplayLoss() {}
#endif

}  // namespace

std::unique_ptr<Backend> MakeGtkBackend(int* argc, char*** argv)
{
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
        return nullptr;
    if (!SessionBusReachable())
        setenv("NO_AT_BRIDGE", "1", 0);
    // Pango must see the dialog font's folder before it reads the font list.
    gdi::EnsureFontsConfigured();
    if (!gtk_init_check(argc, argv) || !gdk_display_get_default()) {
        const char* display = getenv("DISPLAY") ? getenv("DISPLAY") : getenv("WAYLAND_DISPLAY");
        DebugFailure(DebugArea::Window, "gtk_init_check", display, 0);
        return nullptr;
    }
    HookDisplayLoss();
    g_gtkThread = std::this_thread::get_id();
    auto backend = std::make_unique<GtkBackend>();
    g_gtk = backend.get();
    if (gchar* cwd = g_get_current_dir()) {
        g_startFolder = cwd;
        g_free(cwd);
    }
    return backend;
}

int GtkEntriesFromOtherThreads()
{
    return g_foreignEntries.load();
}

bool UseNativeBackend(int* argc, char*** argv)
{
    if (g_gtk)
        return true;
    std::unique_ptr<Backend> backend = MakeGtkBackend(argc, argv);
    if (!backend)
        return false;
    InstallBackend(std::move(backend));
    return true;
}

}  // namespace win
}  // namespace zq

#if defined(__SANITIZE_THREAD__)
// GLib, GDK and GTK are not built for ThreadSanitizer: the locks of GLib's
// own worker threads (thread pool, slice allocator, D-Bus) are invisible to
// it and show as races inside those libraries.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libglib-2.0.so\n"
           "race:libgobject-2.0.so\n"
           "race:libgio-2.0.so\n"
           "race:libgdk-3.so\n"
           "race:libgtk-3.so\n"
           "race:libpango-1.0.so\n"
           "race:libpangocairo-1.0.so\n"
           "race:libpangoft2-1.0.so\n"
           "race:libfontconfig.so\n"
           "race:libcairo.so\n"
           "deadlock:libglib-2.0.so\n";
}
#endif

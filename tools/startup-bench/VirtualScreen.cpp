// The virtual X server's screen: the shared-memory grab, pixel searches, and
// pointer and keys through XTest.
#include "VirtualScreen.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Windows come and go between a query of the tree and a look at one of
// them; Xlib's default handler would end the process for that.
int IgnoreError(Display*, XErrorEvent*)
{
    return 0;
}

}  // namespace

struct VirtualScreen::Shared {
    XShmSegmentInfo info{};
    XImage* image = nullptr;
};

VirtualScreen::VirtualScreen(const std::string& display)
{
    m_display = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (!m_display)
        return;
    XSetErrorHandler(IgnoreError);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XShmQueryExtension(m_display) || !XTestQueryExtension(m_display, &event, &error, &major, &minor))
        return;
    int screen = DefaultScreen(m_display);
    m_width = DisplayWidth(m_display, screen);
    m_height = DisplayHeight(m_display, screen);
    m_shared = new Shared;
    m_shared->image = XShmCreateImage(m_display, DefaultVisual(m_display, screen), DefaultDepth(m_display, screen),
                                      ZPixmap, nullptr, &m_shared->info, m_width, m_height);
    if (!m_shared->image || m_shared->image->bits_per_pixel != 32)
        return;
    m_shared->info.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(m_shared->image->bytes_per_line) * m_height,
                                  IPC_CREAT | 0600);
    if (m_shared->info.shmid < 0)
        return;
    m_shared->info.shmaddr = m_shared->image->data = static_cast<char*>(shmat(m_shared->info.shmid, nullptr, 0));
    m_shared->info.readOnly = False;
    // Marked for removal at once: the segment goes when both sides detach,
    // also when the benchmark is killed.
    bool attached = m_shared->info.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(m_display, &m_shared->info);
    XSync(m_display, False);
    shmctl(m_shared->info.shmid, IPC_RMID, nullptr);
    m_ok = attached;
}

VirtualScreen::~VirtualScreen()
{
    if (m_shared) {
        if (m_ok)
            XShmDetach(m_display, &m_shared->info);
        if (m_shared->info.shmaddr && m_shared->info.shmaddr != reinterpret_cast<char*>(-1))
            shmdt(m_shared->info.shmaddr);
        if (m_shared->image) {
            m_shared->image->data = nullptr;
            XDestroyImage(m_shared->image);
        }
        delete m_shared;
    }
    if (m_display)
        XCloseDisplay(m_display);
}

bool VirtualScreen::Grab()
{
    if (!m_ok)
        return false;
    return XShmGetImage(m_display, DefaultRootWindow(m_display), m_shared->image, 0, 0, AllPlanes);
}

uint32_t VirtualScreen::Pixel(int x, int y) const
{
    if (!m_ok || x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0;
    const char* row = m_shared->image->data + static_cast<size_t>(y) * m_shared->image->bytes_per_line;
    return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
}

std::vector<uint32_t> VirtualScreen::Region(int x, int y, int width, int height) const
{
    std::vector<uint32_t> pixels;
    pixels.reserve(static_cast<size_t>(std::max(0, width * height)));
    for (int j = y; j < y + height; ++j)
        for (int i = x; i < x + width; ++i)
            pixels.push_back(Pixel(i, j));
    return pixels;
}

bool VirtualScreen::FindRow(uint32_t colour, int minRun, int* x, int* y) const
{
    if (!m_ok)
        return false;
    for (int j = 0; j < m_height; ++j) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(
            m_shared->image->data + static_cast<size_t>(j) * m_shared->image->bytes_per_line);
        int run = 0;
        for (int i = 0; i < m_width; ++i) {
            if ((row[i] & 0xFFFFFF) == colour) {
                if (++run >= minRun) {
                    *x = i - run + 1;
                    *y = j;
                    return true;
                }
            } else {
                run = 0;
            }
        }
    }
    return false;
}

int VirtualScreen::DarkPixels(int x, int y, int width, int height, int threshold) const
{
    int count = 0;
    for (int j = y; j < y + height; ++j)
        for (int i = x; i < x + width; ++i) {
            uint32_t p = Pixel(i, j);
            if (static_cast<int>((p >> 16) + ((p >> 8) & 0xFF) + (p & 0xFF)) < threshold)
                ++count;
        }
    return count;
}

void VirtualScreen::Flush()
{
    XFlush(m_display);
    XSync(m_display, False);
}

void VirtualScreen::MoveTo(int x, int y)
{
    if (!m_display)
        return;
    XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
    Flush();
}

void VirtualScreen::Click(int x, int y)
{
    if (!m_display)
        return;
    MoveTo(x, y);
    usleep(30000);
    XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
    Flush();
    usleep(30000);
    XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
    Flush();
}

void VirtualScreen::Type(const std::string& text, int delayMs)
{
    if (!m_display)
        return;
    KeyCode shift = XKeysymToKeycode(m_display, XK_Shift_L);
    for (char c : text) {
        KeySym sym = static_cast<unsigned char>(c);
        KeyCode code = XKeysymToKeycode(m_display, sym);
        if (!code)
            continue;
        bool shifted = XkbKeycodeToKeysym(m_display, code, 0, 0) != sym;
        if (shifted)
            XTestFakeKeyEvent(m_display, shift, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        if (shifted)
            XTestFakeKeyEvent(m_display, shift, False, CurrentTime);
        Flush();
        usleep(static_cast<useconds_t>(delayMs) * 1000);
    }
}

void VirtualScreen::Key(const char* keysymName, bool control)
{
    if (!m_display)
        return;
    KeyCode code = XKeysymToKeycode(m_display, XStringToKeysym(keysymName));
    KeyCode ctrl = XKeysymToKeycode(m_display, XK_Control_L);
    if (!code)
        return;
    if (control)
        XTestFakeKeyEvent(m_display, ctrl, True, CurrentTime);
    XTestFakeKeyEvent(m_display, code, True, CurrentTime);
    XTestFakeKeyEvent(m_display, code, False, CurrentTime);
    if (control)
        XTestFakeKeyEvent(m_display, ctrl, False, CurrentTime);
    Flush();
    usleep(40000);
}

int VirtualScreen::MappedTopLevels() const
{
    if (!m_display)
        return 0;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count))
        return 0;
    int mapped = 0;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(m_display, children[i], &attributes) && attributes.map_state == IsViewable &&
            !attributes.override_redirect)
            ++mapped;
    }
    if (children)
        XFree(children);
    return mapped;
}

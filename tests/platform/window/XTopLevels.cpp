// The X server's own list of top-level windows.
#include "XTopLevels.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace zqtest {

XTopLevels::XTopLevels() : m_display(XOpenDisplay(nullptr)) {}

XTopLevels::~XTopLevels()
{
    if (m_display)
        XCloseDisplay(m_display);
}

unsigned long XTopLevels::Find(const std::string& title) const
{
    if (!m_display)
        return 0;
    ::Window root = 0, parent = 0;
    ::Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count))
        return 0;
    unsigned long found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        if (XFetchName(m_display, children[i], &name) && name) {
            if (title == name)
                found = children[i];
            XFree(name);
        }
    }
    if (children)
        XFree(children);
    return found;
}

bool XTopLevels::Viewable(unsigned long window) const
{
    XWindowAttributes attributes;
    return m_display && XGetWindowAttributes(m_display, window, &attributes) && attributes.map_state == IsViewable;
}

long XTopLevels::Pixel(unsigned long window, int x, int y) const
{
    if (!m_display)
        return -1;
    XImage* image = XGetImage(m_display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return -1;
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return static_cast<long>(pixel & 0xFFFFFF);
}

}  // namespace zqtest

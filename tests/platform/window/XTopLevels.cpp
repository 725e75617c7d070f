// The X server's own list of top-level windows.
#include "XTopLevels.h"

#include <X11/Xlib.h>

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
    return m_display && XGetWindowAttributes(m_display, window, &attributes) &&
           attributes.map_state == IsViewable;
}

}  // namespace zqtest

// The top-level windows of an X display as the server itself has them,
// through a connection of the test's own: what the screen shows, not what
// the layer reports about its windows.
#pragma once

#include <string>

struct _XDisplay;

namespace zqtest {

class XTopLevels {
public:
    // Connects to $DISPLAY. Ok() tells whether it worked.
    XTopLevels();
    ~XTopLevels();
    XTopLevels(const XTopLevels&) = delete;
    XTopLevels& operator=(const XTopLevels&) = delete;

    bool Ok() const { return m_display != nullptr; }
    // The window directly below the root with that title (GTK's top-level
    // windows are there when no window manager runs); 0 when there is none.
    unsigned long Find(const std::string& title) const;
    // Whether the server shows the window: it and its parents are mapped.
    // Each call is a round trip, so it sees every request that reached the
    // server before.
    bool Viewable(unsigned long window) const;
    // The colour the server shows at a point of the window, 0xRRGGBB, read
    // back from the screen; -1 when it cannot be read.
    long Pixel(unsigned long window, int x, int y) const;

private:
    _XDisplay* m_display = nullptr;
};

}  // namespace zqtest

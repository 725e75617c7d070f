// A window that stands for the wizard in the link tests: it records every
// message that the workers post to it, in order.
#pragma once

#include <utility>
#include <vector>

#include "platform/window/CWnd.h"

namespace zqtest {

class Notifications {
public:
    Notifications();
    ~Notifications();
    CWnd* Window();

    // Forgets the messages recorded so far.
    void Clear();
    // Pumps the test thread's queue until WM_UPDATE_RESULT arrives: its code,
    // or -1 when none came within the time.
    int WaitForResult(int milliseconds);
    // The wParam of every recorded message of the kind, in order.
    std::vector<WPARAM> Values(UINT message) const;

private:
    class Sink;
    Sink* m_sink;
};

}  // namespace zqtest

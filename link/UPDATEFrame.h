// One frame received from the car kit, as the frame layer hands it to the
// sessions. The payload is not copied: it points into the layer's assembly
// block and stays valid until the next ReadFrame call.
#pragma once

#include "platform/base/WinTypes.h"

struct UPDATEFrame {
    int type;       // the frame type, 0 to 255
    WORD size;      // the payload length
    BYTE* payload;  // never null once the layer's blocks exist
};

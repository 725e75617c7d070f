// Dialog templates as data: the program's resources register them at start;
// CDialog builds its window from them. Positions and sizes are dialog units
// of the template's font, MS Shell Dlg 8 point: 4 x 8 units are 6 x 13
// pixels.
#pragma once

#include <string>
#include <vector>

#include "platform/base/WinGeometry.h"
#include "platform/base/WinTypes.h"

namespace zq {

struct DialogItemTemplate {
    int id;
    std::string className;  // "Button", "Static", "ComboBox", ...
    std::string text;       // Windows-1252
    DWORD style;            // WS_CHILD is implied
    DWORD exStyle;
    short x, y, cx, cy;
};

struct DialogTemplate {
    UINT id;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    std::string caption;  // Windows-1252
    std::string fontName;
    WORD pointSize;
    std::vector<DialogItemTemplate> items;
};

// Registers a template (a copy); a later one with the same id replaces it.
void RegisterDialogTemplate(const DialogTemplate& dialog);
// The template with the id, or null.
const DialogTemplate* FindDialogTemplate(UINT id);

// Dialog units to pixels: horizontal units round to the nearest pixel,
// vertical ones are cut, which gives the wizard's 650 x 490 client area for
// its 433 x 302 units.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);
RECT DialogUnitsToPixels(short x, short y, short cx, short cy);

}  // namespace zq

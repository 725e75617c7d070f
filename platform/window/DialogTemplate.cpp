// The registered dialog templates and the conversion of dialog units to
// pixels.
#include "platform/window/DialogTemplate.h"

#include <map>
#include <memory>
#include <mutex>

namespace zq {
namespace {

std::mutex& Lock()
{
    static std::mutex lock;
    return lock;
}

std::map<UINT, std::unique_ptr<DialogTemplate>>& Templates()
{
    static std::map<UINT, std::unique_ptr<DialogTemplate>> templates;
    return templates;
}

}  // namespace

void RegisterDialogTemplate(const DialogTemplate& dialog)
{
    std::lock_guard<std::mutex> lock(Lock());
    Templates()[dialog.id] = std::make_unique<DialogTemplate>(dialog);
}

const DialogTemplate* FindDialogTemplate(UINT id)
{
    std::lock_guard<std::mutex> lock(Lock());
    auto it = Templates().find(id);
    return it == Templates().end() ? nullptr : it->second.get();
}

int DialogUnitsToPixelsX(int units)
{
    return (units * 6 + 2) / 4;
}

int DialogUnitsToPixelsY(int units)
{
    return units * 13 / 8;
}

RECT DialogUnitsToPixels(short x, short y, short cx, short cy)
{
    RECT r;
    r.left = DialogUnitsToPixelsX(x);
    r.top = DialogUnitsToPixelsY(y);
    r.right = r.left + DialogUnitsToPixelsX(cx);
    r.bottom = r.top + DialogUnitsToPixelsY(cy);
    return r;
}

}  // namespace zq

// The program's string resources: the application's title, the caption of
// the framework's message boxes, and the OLE start-up failure.
#include "platform/app/CWinApp.h"
#include "platform/gdi/GdiResources.h"
#include "resources/resource.h"

namespace {

struct Registrar {
    Registrar()
    {
        zq::gdi::RegisterStringResource(AFX_IDS_APP_TITLE, "Aldemar Zubeh\xF6r Update Manager");
        zq::gdi::RegisterStringResource(
            IDP_OLE_INIT_FAILED,
            "OLE initialization failed.  Make sure that the OLE libraries are the correct version.");
    }
} registrar;

}  // namespace

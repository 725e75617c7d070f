// The program's one string resource.
#include "platform/gdi/GdiResources.h"
#include "resources/resource.h"

namespace {

struct Registrar {
    Registrar()
    {
        zq::gdi::RegisterStringResource(
            IDP_OLE_INIT_FAILED, "OLE initialization failed.  Make sure that the OLE libraries are the correct version.");
    }
} registrar;

}  // namespace

// Arbitrary bytes as the car kit's product.xml, read into the update model.
#include "tests/fuzz/WorkFolderInput.h"

#include "container/UPDATEModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!WriteWorkFile("product.xml", data, size))
        return 0;
    g_UpdateModel.ReadProductXml();
    g_UpdateModel.Reset();
    return 0;
}

// Arbitrary bytes as a container description, read into the update model.
#include "tests/fuzz/WorkFolderInput.h"

#include "container/UPDATEModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!WriteWorkFile("update.xml", data, size))
        return 0;
    g_UpdateModel.ParseResourceXml(g_WorkFolder + "\\update.xml");
    g_UpdateModel.Reset();
    return 0;
}

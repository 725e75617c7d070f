// The model's clearing: of the product part, of the container part and of all.
#include "container/UPDATEModel.h"

// Constructed during static initialisation, before the application starts,
// and destroyed at process exit.
UPDATEModel g_UpdateModel;

void UPDATEModel::ClearProduct()
{
    m_Product.name.Empty();
    m_Product.variant.Empty();
    m_Product.devices.clear();
}

void UPDATEModel::ClearContainer()
{
    m_Container.version.Empty();
    m_Container.devices.clear();
    m_Container.common.clear();
    m_Container.langs.clear();
    m_Container.vd_data.clear();
}

int UPDATEModel::Reset()
{
    m_FileList.clear();
    ClearContainer();
    ClearProduct();
    return 1;
}

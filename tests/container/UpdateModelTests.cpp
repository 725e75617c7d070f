// The model's clearing and its copies of stored records.
#include <gtest/gtest.h>

#include "container/UPDATEModel.h"

namespace {

UPDATEDevice MakeDevice(const char* name)
{
    UPDATEDevice device;
    device.name = name;
    device.boards.push_back({"pcb1", "rev1"});
    device.langs.push_back({"English", "0", {{"vds", "1.0"}}});
    return device;
}

void FillModel(UPDATEModel& model)
{
    model.m_Product.name = "P";
    model.m_Product.variant = "V";
    model.m_Product.devices.push_back(MakeDevice("prod"));
    model.m_Container.version = "2.0";
    model.m_Container.devices.push_back(MakeDevice("cont"));
    model.m_Container.common.push_back({"a.bin", "1", "m", "v"});
    model.m_Container.langs.push_back({"English", {{"e.bin", "", "", ""}}, {{"vds", "2.0"}}});
    model.m_Container.vd_data.push_back({"English", {{"vds", "2.0", {{"v.bin", "", "", ""}}}}});
    model.m_FileList.push_back("a.bin");
}

void ExpectProductEmpty(const UPDATEModel& model)
{
    EXPECT_TRUE(model.m_Product.name.IsEmpty());
    EXPECT_TRUE(model.m_Product.variant.IsEmpty());
    EXPECT_TRUE(model.m_Product.devices.empty());
}

void ExpectContainerEmpty(const UPDATEModel& model)
{
    EXPECT_TRUE(model.m_Container.version.IsEmpty());
    EXPECT_TRUE(model.m_Container.devices.empty());
    EXPECT_TRUE(model.m_Container.common.empty());
    EXPECT_TRUE(model.m_Container.langs.empty());
    EXPECT_TRUE(model.m_Container.vd_data.empty());
}

TEST(UpdateModel, ClearProductLeavesContainerAndFileList)
{
    UPDATEModel model;
    FillModel(model);
    model.ClearProduct();
    ExpectProductEmpty(model);
    EXPECT_EQ(model.m_Container.version, "2.0");
    EXPECT_EQ(model.m_Container.devices.size(), 1u);
    EXPECT_EQ(model.m_Container.vd_data.size(), 1u);
    EXPECT_EQ(model.m_FileList.size(), 1u);
}

TEST(UpdateModel, ClearContainerLeavesProductAndFileList)
{
    UPDATEModel model;
    FillModel(model);
    model.ClearContainer();
    ExpectContainerEmpty(model);
    EXPECT_EQ(model.m_Product.name, "P");
    EXPECT_EQ(model.m_Product.devices.size(), 1u);
    EXPECT_EQ(model.m_FileList.size(), 1u);
}

TEST(UpdateModel, ResetEmptiesEverythingAndReturnsOne)
{
    UPDATEModel model;
    EXPECT_EQ(model.Reset(), 1);  // on an empty model
    FillModel(model);
    EXPECT_EQ(model.Reset(), 1);
    ExpectProductEmpty(model);
    ExpectContainerEmpty(model);
    EXPECT_TRUE(model.m_FileList.empty());
}

}  // namespace

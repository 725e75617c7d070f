// The product.xml reader: what it takes into the product part, and what it
// gives for faulty and cut-off documents.
#include <gtest/gtest.h>

#include <string>

#include "container/UPDATEModel.h"
#include "container/UPDATEXMLParser.h"
#include "tests/container/ContainerFixture.h"

namespace {

using zqtest::WinPath;

class ProductReader : public ::testing::Test {
protected:
    ProductReader() : m_names(zqtest::RealProgramPath(), WinPath(m_work.Linux())) {}

    bool Read(const std::string& xml)
    {
        m_work.Write("product.xml", xml);
        return m_model.ReadProductXml();
    }

    zqtest::TempFolder m_work;
    zqtest::FolderNames m_names;
    UPDATEModel m_model;
};

const char kFullDevice[] =
    "<device name='HF1' variant='EU' id='7' disp_name='Kit One' other='x'>"
    "<software version='1.20'/>"
    "<hardware pcb='P1' revision='A'/>"
    "<hardware pcb='P2'/>"
    "<extended><langs>"
    "<lang name='English' removable='0'><lib name='vds' version='1.0'/><lib name='tts'/><other/></lang>"
    "<lang><lib name='vds' version='3.0'/></lang>"
    "</langs></extended>"
    "</device>";

TEST_F(ProductReader, ReadsADeviceWithRecordsCarriedOverFromTheElementBefore)
{
    EXPECT_TRUE(Read(std::string("<product name='Car' variant='V2'><devices>") + kFullDevice + "</devices></product>"));
    EXPECT_EQ(m_model.m_Product.name, "Car");
    EXPECT_EQ(m_model.m_Product.variant, "V2");
    ASSERT_EQ(m_model.m_Product.devices.size(), 1u);
    const UPDATEDevice& d = m_model.m_Product.devices[0];
    EXPECT_EQ(d.name, "HF1");
    EXPECT_EQ(d.variant, "EU");
    EXPECT_EQ(d.id, "7");
    EXPECT_EQ(d.disp_name, "Kit One");
    EXPECT_EQ(d.software, "1.20");
    ASSERT_EQ(d.boards.size(), 2u);
    EXPECT_EQ(d.boards[1].first, "P2");
    EXPECT_EQ(d.boards[1].second, "A");  // the revision of the board before
    ASSERT_EQ(d.langs.size(), 2u);
    EXPECT_EQ(d.langs[0].name, "English");
    EXPECT_EQ(d.langs[0].removable, "0");
    // The stored lang keeps its libraries, although the record it was read
    // into was emptied for the second lang.
    ASSERT_EQ(d.langs[0].libs.size(), 2u);
    EXPECT_EQ(d.langs[0].libs[1].name, "tts");
    EXPECT_EQ(d.langs[0].libs[1].version, "1.0");  // the version of the lib before
    // A second lang without attributes keeps the name, but starts with an
    // empty library list.
    EXPECT_EQ(d.langs[1].name, "English");
    ASSERT_EQ(d.langs[1].libs.size(), 1u);
    EXPECT_EQ(d.langs[1].libs[0].version, "3.0");
}

TEST_F(ProductReader, DeviceResultIsThatOfItsLastHardwareOrLang)
{
    struct Case {
        const char* devices;
        bool result;
        size_t deviceCount;
    } cases[] = {
        // extended before hardware: the hardware is last
        {"<device><extended><langs><lang name='a'/></langs></extended><hardware pcb='1'/></device>", true, 1},
        // hardware, then an extended without any lang
        {"<device><hardware pcb='1'/><extended><langs/></extended></device>", false, 1},
        // a langs directly under device adds nothing
        {"<device><langs><lang name='a'/></langs></device>", false, 1},
        // the second device has neither hardware nor extended
        {"<device><hardware pcb='1'/></device><device name='b'/>", false, 2},
        // a trailing element that is not a device
        {"<device><hardware pcb='1'/></device><info/>", false, 1},
        // a device that is not last does not decide
        {"<device name='b'/><device><hardware pcb='1'/></device>", true, 2},
        // no device at all
        {"", false, 0},
    };
    for (const Case& c : cases) {
        std::string xml = std::string("<product><devices>") + c.devices + "</devices></product>";
        EXPECT_EQ(Read(xml), c.result) << c.devices;
        EXPECT_EQ(m_model.m_Product.devices.size(), c.deviceCount) << c.devices;
    }
    // The devices of the last devices element decide; "Device" is another name.
    EXPECT_FALSE(Read("<product><devices><device><hardware pcb='1'/></device></devices><devices><Device/>"
                      "</devices></product>"));
    EXPECT_EQ(m_model.m_Product.devices.size(), 1u);
}

TEST_F(ProductReader, FailuresLeaveTheProductPartEmpty)
{
    const char* documents[] = {
        "",                                               // empty file
        "<other name='x'><product name='y'/></other>",    // another document element
        "<product name='x'",                              // cut before any element started
        "<product name='\xC3\x28'><devices/></product>",  // not UTF-8
    };
    const std::string good = std::string("<product name='old'><devices>") + kFullDevice + "</devices></product>";
    for (const char* xml : documents) {
        ASSERT_TRUE(Read(good));
        EXPECT_FALSE(Read(xml)) << xml;
        EXPECT_TRUE(m_model.m_Product.name.IsEmpty()) << xml;
        EXPECT_TRUE(m_model.m_Product.devices.empty()) << xml;
    }
    // A missing file.
    remove(m_work.Linux("product.xml").c_str());
    EXPECT_FALSE(m_model.ReadProductXml());
    // A product without devices keeps its name and variant.
    EXPECT_FALSE(Read("<product name='n' variant='v'/>"));
    EXPECT_EQ(m_model.m_Product.name, "n");
}

TEST_F(ProductReader, Utf8ValuesReachTheModelAsWindows1252)
{
    EXPECT_TRUE(Read("<product name='Freisprecheinrichtung \xE2\x82\xAC'><devices>"
                     "<device name='HF1' disp_name='Zubeh\xC3\xB6r'><hardware pcb='\xCE\xA9'/></device>"
                     "</devices></product>"));
    EXPECT_EQ(m_model.m_Product.name, "Freisprecheinrichtung \x80");
    ASSERT_EQ(m_model.m_Product.devices.size(), 1u);
    EXPECT_EQ(m_model.m_Product.devices[0].disp_name, "Zubeh\xF6r");
    EXPECT_EQ(m_model.m_Product.devices[0].boards[0].first, "?");
}

TEST_F(ProductReader, CutOffDocumentKeepsTheElementsBeforeTheCut)
{
    EXPECT_TRUE(
        Read(std::string("<product name='p'><devices>") + kFullDevice + "<device name='cut'><hardware pcb='X'/><exte"));
    ASSERT_EQ(m_model.m_Product.devices.size(), 2u);
    EXPECT_EQ(m_model.m_Product.devices[1].name, "cut");
    EXPECT_EQ(UPDATEXMLParser::m_InstanceCount, 0);
}

TEST_F(ProductReader, MissingLibraryFailsAndTheNextReadTriesAgain)
{
    std::string xml = std::string("<product><devices>") + kFullDevice + "</devices></product>";
    zqtest::TempFolder noLibrary;
    {
        zqtest::FolderNames names(WinPath(noLibrary.Linux("program")), WinPath(m_work.Linux()));
        EXPECT_FALSE(Read(xml));
        EXPECT_TRUE(m_model.m_Product.devices.empty());
    }
    zqtest::TempFolder wrongLibrary;
    wrongLibrary.Link("libexpat.dll", zqtest::OtherSharedLibrary());
    {
        zqtest::FolderNames names(WinPath(wrongLibrary.Linux("program")), WinPath(m_work.Linux()));
        EXPECT_FALSE(Read(xml));
    }
    EXPECT_EQ(UPDATEXMLParser::m_hExpat, nullptr);
    EXPECT_TRUE(Read(xml));
}

}  // namespace

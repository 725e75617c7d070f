// The container description reader: what it takes into the model, and what
// it gives for faulty and cut-off descriptions.
#include <gtest/gtest.h>

#include <string>

#include "container/UPDATEModel.h"
#include "container/UPDATEXMLParser.h"
#include "tests/container/ContainerFixture.h"

namespace {

using zqtest::WinPath;

class ContainerReader : public ::testing::Test {
protected:
    ContainerReader() : m_names(zqtest::RealProgramPath(), WinPath(m_folder.Linux())) {}

    int Read(const std::string& xml)
    {
        m_folder.Write("update.xml", xml);
        return m_model.ParseResourceXml(WinPath(m_folder.Linux("update.xml")));
    }

    zqtest::TempFolder m_folder;
    zqtest::FolderNames m_names;
    UPDATEModel m_model;
};

const char kDevices[] = "<device name='HF1' variant='EU' id='7' disp_name='Kit'>"
                        "<hardware><board pcb='P1' revision='A'/><board pcb='P2'/></hardware>"
                        "<hardware x='1'><board pcb='P3' revision='C'/></hardware>"
                        "</device>"
                        "<device name='HF2'/>";

const char kFiles[] =
    "<files>"
    "<common><file name='a.bin' size='1' md5='m1' variant='v1'/><file name='b.bin'/></common>"
    "<langs><lang name='English'><file name='e.bin'/><requires name='vds' version='2.0'/></lang></langs>"
    "<vd_data><lang name='English'><lib name='vds' version='2.0'><file name='v.bin'/></lib></lang></vd_data>"
    "</files>";

std::string Update(const std::string& children)
{
    return "<update version='2.0'>" + children + "</update>";
}

TEST_F(ContainerReader, ReadsAFullDescription)
{
    EXPECT_EQ(Read(Update(std::string(kDevices) + kFiles)), 1);
    const UPDATEContainer& c = m_model.m_Container;
    EXPECT_EQ(c.version, "2.0");
    ASSERT_EQ(c.devices.size(), 2u);
    EXPECT_EQ(c.devices[0].disp_name, "Kit");
    ASSERT_EQ(c.devices[0].boards.size(), 3u);  // boards of both hardware elements
    EXPECT_EQ(c.devices[0].boards[1].first, "P2");
    EXPECT_EQ(c.devices[0].boards[1].second, "A");  // carried over from the board before
    EXPECT_EQ(c.devices[0].boards[2].second, "C");
    EXPECT_TRUE(c.devices[1].boards.empty());
    EXPECT_TRUE(c.devices[1].name == "HF2" && c.devices[1].variant.IsEmpty());  // nothing from the device before
    ASSERT_EQ(c.common.size(), 2u);
    EXPECT_EQ(c.common[1].name, "b.bin");
    EXPECT_EQ(c.common[1].md5, "m1");  // carried over from the file before
    ASSERT_EQ(c.langs.size(), 1u);
    EXPECT_EQ(c.langs[0].files[0].name, "e.bin");
    EXPECT_EQ(c.langs[0].requires[0].first, "vds");
    EXPECT_EQ(c.langs[0].requires[0].second, "2.0");
    ASSERT_EQ(c.vd_data.size(), 1u);
    EXPECT_EQ(c.vd_data[0].libs[0].files[0].name, "v.bin");
    EXPECT_EQ(c.vd_data[0].libs[0].files[0].variant, "");  // another file section: a new record
}

TEST_F(ContainerReader, TheLastChildOfUpdateDecides)
{
    struct Case {
        std::string children;
        int result;
    } cases[] = {
        {std::string(kDevices) + kFiles, 1},
        {kFiles, 1},                                         // no device
        {std::string(kFiles) + "<device name='late'/>", 0},  // a device after the files
        {std::string(kFiles) + "<Files/>", 0},               // another name counts as a child
        {"", 0},                                             // no children
        {"<files><vd_data><lang/></vd_data><langs><lang name='x'><file name='f'/></lang></langs></files>",
         0},                                                                             // langs last, no requires
        {"<files><langs><lang><requires name='a'/></lang></langs><other/></files>", 1},  // other names do not decide
        {"<files><common/></files>", 0},                                                 // common without files
        {"<files><vd_data><lang><lib/></lang></vd_data></files>", 0},                    // vd_data without files
        {"<files/>", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(Update(c.children)), c.result) << c.children;

    // A refused description keeps every record it read.
    EXPECT_EQ(Read(Update(std::string(kDevices) + kFiles + "<device name='late'/>")), 0);
    EXPECT_EQ(m_model.m_Container.devices.size(), 3u);
    EXPECT_EQ(m_model.m_Container.common.size(), 2u);
}

TEST_F(ContainerReader, LangRecordsCarryTheirNameOverWithinOneLangs)
{
    EXPECT_EQ(Read(Update("<files><langs><lang><requires name='r'/></lang><lang name='A'/><lang>"
                          "<requires version='9'/></lang></langs><langs><lang/></langs></files>")),
              0);
    const std::vector<UPDATELang>& langs = m_model.m_Container.langs;
    ASSERT_EQ(langs.size(), 4u);
    EXPECT_EQ(langs[0].name, "");
    EXPECT_EQ(langs[2].name, "A");
    EXPECT_TRUE(langs[1].requires.empty());      // emptied at each lang
    EXPECT_EQ(langs[2].requires[0].first, "r");  // the pair carries over
    EXPECT_EQ(langs[2].requires[0].second, "9");
    EXPECT_EQ(langs[3].name, "");  // a new langs element starts afresh

    // Two languages of one file each: each keeps its own file alone.
    UPDATEModel second;
    m_folder.Write("update.xml", Update("<files><langs><lang name='English'><file name='en.lng'/></lang>"
                                        "<lang name='German'><file name='de.lng'/></lang></langs></files>"));
    second.ParseResourceXml(WinPath(m_folder.Linux("update.xml")));
    const std::vector<UPDATELang>& two = second.m_Container.langs;
    ASSERT_EQ(two.size(), 2u);
    ASSERT_EQ(two[0].files.size(), 1u);
    EXPECT_EQ(two[0].files[0].name, "en.lng");
    ASSERT_EQ(two[1].files.size(), 1u) << "the German package holds " << two[1].files.size() << " files";
    EXPECT_EQ(two[1].files[0].name, "de.lng");
}

TEST_F(ContainerReader, IgnoresOtherPlacesCaseAndText)
{
    EXPECT_EQ(Read(Update("<file name='top'/><Device name='x'/><files><file name='f'/><common>"
                          "<file Name='X' name='a'>text.bin</file></common></files>")),
              1);
    EXPECT_TRUE(m_model.m_Container.devices.empty());
    ASSERT_EQ(m_model.m_Container.common.size(), 1u);
    EXPECT_EQ(m_model.m_Container.common[0].name, "a");
}

TEST_F(ContainerReader, FailuresAndTheirContents)
{
    ASSERT_EQ(Read(Update(std::string(kDevices) + kFiles)), 1);
    const char* documents[] = {"", "no element", "<container><update version='1'/></container>"};
    for (const char* xml : documents) {
        EXPECT_EQ(Read(xml), 0) << xml;
        EXPECT_TRUE(m_model.m_Container.version.IsEmpty()) << xml;
        EXPECT_TRUE(m_model.m_Container.devices.empty()) << xml;
    }
    EXPECT_EQ(m_model.ParseResourceXml(WinPath(m_folder.Linux("missing.xml"))), 0);
    EXPECT_EQ(Read("<update version='3'/>"), 0);
    EXPECT_EQ(m_model.m_Container.version, "3");
}

TEST_F(ContainerReader, CutOffAfterFilesIsAccepted)
{
    EXPECT_EQ(Read("<update version='2'>" + std::string(kDevices) + kFiles + "<dev"), 1);
    EXPECT_EQ(m_model.m_Container.devices.size(), 2u);
    // A second read leaves nothing of the first.
    EXPECT_EQ(Read(Update(std::string("<device name='only'/>") + kFiles)), 1);
    EXPECT_EQ(m_model.m_Container.devices.size(), 1u);
    EXPECT_EQ(m_model.m_Container.common.size(), 2u);
}

TEST_F(ContainerReader, Utf8ValuesReachTheModelAndTheCheckAsWindows1252)
{
    // A display name and a file name with a German letter; the file lies in
    // the folder under its UTF-8 name, as 7za writes it on Linux.
    const std::string files =
        "<files><common><file name='\xC3\xA4.bin'/></common>"
        "<vd_data><lang name='English'><lib name='vds' version='1'><file name='gr\xC3\xBC*.bin'/></lib></lang>"
        "</vd_data></files>";
    m_folder.Write("\xC3\xA4.bin", "x");
    m_folder.Write("gr\xC3\xBC\xC3\x9F.bin", "x");
    ASSERT_EQ(Read(Update("<device name='HF1' disp_name='Zubeh\xC3\xB6r'/>" + files)), 1);
    EXPECT_EQ(m_model.m_Container.devices[0].disp_name, "Zubeh\xF6r");
    EXPECT_EQ(m_model.m_Container.common[0].name, "\xE4.bin");
    EXPECT_TRUE(m_model.CheckContainerFiles(WinPath(m_folder.Linux("update.xml"))));

    // A name that Windows-1252 cannot hold reads as '?' and so names no file
    // that is there.
    m_folder.Write("\xE6\x97\xA5.bin", "x");
    ASSERT_EQ(Read(Update("<files><common><file name='\xE6\x97\xA5.bin'/></common></files>")), 1);
    EXPECT_EQ(m_model.m_Container.common[0].name, "?.bin");
    EXPECT_FALSE(m_model.CheckContainerFiles(WinPath(m_folder.Linux("update.xml"))));
}

TEST_F(ContainerReader, MissingLibraryGivesZeroAndAnEmptyContainer)
{
    zqtest::TempFolder noLibrary;
    {
        zqtest::FolderNames names(WinPath(noLibrary.Linux("program")), WinPath(m_folder.Linux()));
        EXPECT_EQ(Read(Update(kFiles)), 0);
        EXPECT_TRUE(m_model.m_Container.version.IsEmpty());
    }
    EXPECT_EQ(Read(Update(kFiles)), 1);
}

}  // namespace

// The file selection (order, device results, the same-version question) and
// the container check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container/UPDATEModel.h"
#include "container/UpdateResult.h"
#include "platform/app/CWinApp.h"
#include "platform/window/MessageBoxSeam.h"
#include "tests/container/ContainerFixture.h"
#include "texts/LanguageTexts.h"

namespace {

using zqtest::WinPath;

UPDATEFile File(const char* name)
{
    UPDATEFile file;
    file.name = name;
    return file;
}

UPDATEDevice Device(const char* name, const char* pcb, const char* software = "1.0")
{
    UPDATEDevice device;
    device.name = name;
    device.variant = "EU";
    device.id = "1";
    device.software = software;
    if (pcb)
        device.boards.push_back({pcb, "A"});
    return device;
}

std::string Join(const std::vector<CString>& list)
{
    std::string out;
    for (const CString& name : list)
        out += std::string(out.empty() ? "" : " ") + name.GetString();
    return out;
}

class FileSelection : public ::testing::Test {
protected:
    void SetUp() override
    {
        LanguageTexts texts;
        texts.SetLanguage(LanguageTexts::LANGUAGE_ENGLISH);
        UPDATEContainer& c = m_model.m_Container;
        c.version = "2.0";
        c.devices.push_back(Device("HF1", "P1"));
        c.devices.push_back(Device("HF2", "P2"));
        c.common = {File("c1.bin"), File("c2.bin")};
        c.langs.push_back({"English", {File("en.bin")}, {{"vds", "2.0"}, {"tts", "5"}, {"vds", "2.0"}}});
        c.langs.push_back({"German", {File("de.bin")}, {{"vds", "2.0"}}});
        c.langs.push_back({"French", {}, {{"vds", "2.0"}}});
        c.vd_data.push_back({"English", {{"vds", "2.0", {File("en-vds.bin")}}, {"tts", "5", {File("en-tts.bin")}}}});
        c.vd_data.push_back({"German", {{"vds", "2.0", {File("de-vds.bin")}}, {"vds", "1.0", {File("old.bin")}}}});
        c.vd_data.push_back({"French", {{"vds", "2.0", {File("fr-vds.bin")}}}});
    }

    // Runs the selection, answering every question with answer, and counts
    // the questions.
    int Select(int force, int answer)
    {
        zq::RecordingMessageBoxResponder responder({answer, answer});
        LanguageTexts texts;
        int result = m_model.GetFileList(force, texts);
        m_questions = static_cast<int>(responder.Count());
        for (const zq::MessageBoxCall& call : responder.Calls()) {
            EXPECT_EQ(call.text, "The same software version, do you want to make an update");
            EXPECT_EQ(call.type, static_cast<UINT>(MB_YESNO));
        }
        return result;
    }

    UPDATEModel m_model;
    int m_questions = 0;
};

TEST_F(FileSelection, FileListOrderWithLanguagePackagesAndVdDataRequirements)
{
    UPDATEDevice device = Device("HF1", "P1");
    // English: vds installed in an older version (twice required, so its
    // files come twice), tts in the required one. German: vds old. Spanish:
    // no package. A requirement for a library the device lacks adds nothing.
    device.langs.push_back({"English", "0", {{"vds", "1.0"}, {"tts", "5"}}});
    device.langs.push_back({"Spanish", "1", {{"vds", "1.0"}}});
    device.langs.push_back({"German", "1", {{"vds", "1.5"}}});
    device.langs.push_back({"French", "1", {}});
    m_model.m_Product.devices.push_back(device);
    m_model.m_FileList.push_back("stale.bin");
    // Only the first package of a language counts.
    m_model.m_Container.langs.push_back({"German", {File("de-second.bin")}, {{"vds", "2.0"}}});

    EXPECT_EQ(Select(0, IDYES), UPDATE_RESULT_SUCCESS);
    EXPECT_EQ(m_questions, 0);
    EXPECT_EQ(Join(m_model.m_FileList), "c1.bin c2.bin en.bin en-vds.bin en-vds.bin de.bin de-vds.bin");
}

TEST_F(FileSelection, DeviceResults)
{
    // A device of the container in all but one field.
    auto changed = [](void (*change)(UPDATEDevice&)) {
        UPDATEDevice device = Device("HF1", "P1");
        change(device);
        return device;
    };
    struct Case {
        std::vector<UPDATEDevice> devices;
        int result;
        const char* files;
    } cases[] = {
        {{}, UPDATE_RESULT_SUCCESS, ""},
        {{Device("HF9", "P1")}, UPDATE_RESULT_DEVICE_NOT_IN_CONTAINER, ""},
        {{Device("HF1", "P9")}, UPDATE_RESULT_HARDWARE_NOT_SUPPORTED, ""},
        {{Device("HF1", nullptr)}, UPDATE_RESULT_HARDWARE_NOT_SUPPORTED, ""},
        // name, variant and id make the device; pcb and revision the board
        {{changed([](UPDATEDevice& d) { d.variant = "US"; })}, UPDATE_RESULT_DEVICE_NOT_IN_CONTAINER, ""},
        {{changed([](UPDATEDevice& d) { d.id = "2"; })}, UPDATE_RESULT_DEVICE_NOT_IN_CONTAINER, ""},
        {{changed([](UPDATEDevice& d) { d.boards[0].second = "B"; })}, UPDATE_RESULT_HARDWARE_NOT_SUPPORTED, ""},
        // the board of another container device counts
        {{Device("HF1", "P2")}, UPDATE_RESULT_SUCCESS, "c1.bin c2.bin"},
        // a car kit of two boards: one supported board is enough, and it
        // may be the second; with neither the hardware is not supported
        {{changed([](UPDATEDevice& d) {
             d.boards = {{"P9", "A"}, {"P1", "A"}};
         })},
         UPDATE_RESULT_SUCCESS,
         "c1.bin c2.bin"},
        {{changed([](UPDATEDevice& d) {
             d.boards = {{"P9", "A"}, {"P1", "B"}};
         })},
         UPDATE_RESULT_HARDWARE_NOT_SUPPORTED,
         ""},
        // the first device is not in the container, the second is served
        {{Device("HF9", "P1"), Device("HF2", "P2")}, UPDATE_RESULT_SUCCESS, "c1.bin c2.bin"},
        // the last device looked at decides the code
        {{Device("HF1", "P9"), Device("HF9", "P1")}, UPDATE_RESULT_DEVICE_NOT_IN_CONTAINER, ""},
        // "2.00" differs from "2.0": no question
        {{Device("HF1", "P1", "2.00")}, UPDATE_RESULT_SUCCESS, "c1.bin c2.bin"},
    };
    for (const Case& c : cases) {
        m_model.m_Product.devices = c.devices;
        EXPECT_EQ(Select(0, IDNO), c.result) << c.files;
        EXPECT_EQ(Join(m_model.m_FileList), c.files);
        EXPECT_EQ(m_questions, 0);
    }
    // Case matters in names.
    UPDATEDevice lower = Device("hf1", "P1");
    m_model.m_Product.devices = {lower};
    EXPECT_EQ(Select(0, IDNO), UPDATE_RESULT_DEVICE_NOT_IN_CONTAINER);
}

TEST_F(FileSelection, SameVersionAsksOnceWithThreeOutcomes)
{
    UPDATEDevice same = Device("HF1", "P1", "2.0");
    same.langs.push_back({"English", "0", {{"vds", "1.0"}}});
    m_model.m_Product.devices = {same, Device("HF2", "P2")};

    // Any answer but Yes: result 21, empty list, the second device is not
    // looked at.
    for (int answer : {IDNO, IDCANCEL}) {
        EXPECT_EQ(Select(0, answer), UPDATE_RESULT_SAME_VERSION) << answer;
        EXPECT_EQ(m_questions, 1);
        EXPECT_TRUE(m_model.m_FileList.empty());
    }

    // Yes: the device is served.
    EXPECT_EQ(Select(0, IDYES), UPDATE_RESULT_SUCCESS);
    EXPECT_EQ(m_questions, 1);
    EXPECT_EQ(Join(m_model.m_FileList), "c1.bin c2.bin en.bin en-vds.bin en-vds.bin");

    // Force: no question, requirements still compared by version.
    EXPECT_EQ(Select(7, IDNO), UPDATE_RESULT_SUCCESS);
    EXPECT_EQ(m_questions, 0);
    EXPECT_EQ(Join(m_model.m_FileList), "c1.bin c2.bin en.bin en-vds.bin en-vds.bin");
}

TEST_F(FileSelection, QuestionIsAskedInTheCurrentLanguage)
{
    m_model.m_Product.devices = {Device("HF1", "P1", "2.0")};
    LanguageTexts texts;
    texts.SetLanguage(LanguageTexts::LANGUAGE_GERMAN);
    zq::RecordingMessageBoxResponder responder({IDYES});
    EXPECT_EQ(m_model.GetFileList(0, texts), UPDATE_RESULT_SUCCESS);
    ASSERT_EQ(responder.Count(), 1u);
    EXPECT_EQ(responder.Calls()[0].text, "Die selbe Softwareversion. M\xF6"
                                         "chten Sie fortfahren?");
    texts.SetLanguage(LanguageTexts::LANGUAGE_ENGLISH);
}

TEST_F(FileSelection, DisplayName)
{
    CString out = "unchanged";
    EXPECT_TRUE(m_model.GetDisplayName(Device("HF9", "P1"), out) == false && out == "unchanged");
    // The first same device decides, also with an empty display name.
    m_model.m_Container.devices.push_back(m_model.m_Container.devices[0]);
    m_model.m_Container.devices.back().disp_name = "Second";
    EXPECT_FALSE(m_model.GetDisplayName(Device("HF1", "P1"), out));
    EXPECT_EQ(out, "unchanged");
    m_model.m_Container.devices[0].disp_name = "Kit One";
    EXPECT_TRUE(m_model.GetDisplayName(Device("HF1", "P1"), out));
    EXPECT_EQ(out, "Kit One");
}

class ContainerCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        UPDATEContainer& c = m_model.m_Container;
        c.common = {File("c1.bin")};
        c.langs.push_back({"English", {File("en.bin")}, {}});
        c.langs.push_back({"Empty", {}, {}});
        c.vd_data.push_back({"English", {{"vds", "2.0", {File("v*.bin")}}, {"tts", "1", {File("absent.bin")}}}});
        for (const char* name : {"c1.bin", "en.bin", "v-2.0.bin", "update.xml"})
            m_folder.Write(name, "x");
    }
    bool Check() { return m_model.CheckContainerFiles(WinPath(m_folder.Linux("update.xml"))); }

    zqtest::TempFolder m_folder;
    UPDATEModel m_model;
};

TEST_F(ContainerCheck, EveryNamedFileMustBePresent)
{
    // Only "vds" libraries are checked; their names are search patterns.
    EXPECT_TRUE(Check());
    remove(m_folder.Linux("en.bin").c_str());
    EXPECT_FALSE(Check());
    m_folder.Write("en.bin", "x");
    remove(m_folder.Linux("c1.bin").c_str());
    EXPECT_FALSE(Check());
    m_folder.Write("c1.bin", "x");
    remove(m_folder.Linux("v-2.0.bin").c_str());
    EXPECT_FALSE(m_model.m_Container.CheckVdsFiles(WinPath(m_folder.Linux())));
    EXPECT_FALSE(Check());
}

TEST_F(ContainerCheck, OneNameRuleForEveryFileEntry)
{
    // The same rule for a common file, a language file and a "vds" file,
    // and the session's guard is the same function: a name that could not
    // be sent is missing here already, before any connection.
    m_folder.MakeFolder("sub");
    m_folder.Write("sub/inner.bin", "x");
    std::string absolute = std::string(zqtest::WinPath(m_folder.Linux("c1.bin")));
    // The name alone, the name with the folder's contents, and the name as a
    // file of a library other than "vds", which need not be there.
    struct Case {
        std::string name;
        bool nameAllowed;
        bool passes;
    } cases[] = {
        {"c1.bin", true, true},
        {"sub\\inner.bin", true, true},
        {"sub/inner.bin", true, true},
        {".\\c1.bin", true, true},
        {"sub\\.\\inner.bin", true, true},
        {"", false, false},    // <file/>
        {"sub", true, false},  // a folder that is there
        {"sub\\", false, false},
        {".", false, false},
        {"sub\\.", false, false},
        {"sub\\..\\c1.bin", false, false},  // stays inside, but through ".."
        {"..\\" + m_folder.Linux().substr(m_folder.Linux().rfind('/') + 1) + "\\c1.bin", false, false},
        {"../x", false, false},
        {"..", false, false},
        {absolute, false, false},                  // a drive
        {absolute.substr(2), false, false},        // a leading backslash
        {m_folder.Linux("c1.bin"), false, false},  // a leading slash
        {"Z:c1.bin", false, false},
        {"c1.bin:stream", false, false},
        {"..bin", true, false},  // no such file, but not refused for its name
        {"a..b", true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UPDATEContainer::IsNameInsideFolder(c.name.c_str()), c.nameAllowed) << c.name;
        for (int where = 0; where < 4; ++where) {
            SetUp();
            UPDATEContainer& container = m_model.m_Container;
            container.langs.clear();
            container.vd_data.clear();
            bool expected = c.passes;
            if (where == 0) {
                container.common = {File(c.name.c_str())};
            } else if (where == 1) {
                container.langs.push_back({"English", {File(c.name.c_str())}, {}});
            } else if (where == 2) {
                container.vd_data.push_back({"English", {{"vds", "1", {File(c.name.c_str())}}}});
            } else {
                container.vd_data.push_back({"English", {{"tts", "1", {File(c.name.c_str())}}}});
                expected = c.nameAllowed && c.name != "sub";
            }
            EXPECT_EQ(Check(), expected) << c.name << " where " << where;
        }
    }
}

TEST_F(ContainerCheck, AVdsPatternMustFindAFileNotOnlyAFolder)
{
    m_folder.MakeFolder("vfolder");
    m_model.m_Container.vd_data = {{"English", {{"vds", "1", {File("vf*")}}}}};
    EXPECT_FALSE(Check());
    m_folder.Write("vfile", "x");
    EXPECT_TRUE(Check());
}

}  // namespace

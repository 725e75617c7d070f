// The sample update container that the build makes for a first update: read
// by the system's own readers and sent to the car-kit simulator as it starts
// without options, the road that a newcomer takes first. When the sample or
// the simulator's default device changes so that they no longer fit, this
// fails.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "container/UpdateResult.h"
#include "link/UPDATEManager.h"
#include "link/UPDATEProtocol.h"
#include "platform/paths/DrivePaths.h"
#include "platform/window/CWnd.h"
#include "platform/window/Headless.h"
#include "platform/window/MessageBoxSeam.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"
#include "tests/support/CarKitSimulator.h"
#include "tests/wizard/WizardTestSupport.h"
#include "texts/LanguageTexts.h"
#include "wizard/CQuorinUpdateManagerApp.h"

namespace {

const int RESULT_WAIT = 60000;  // longer than any session's own time-out

// Stands for the wizard window: keeps the result code of the last session.
class ResultSink : public CWnd {
public:
    ResultSink()
    {
        CRect rect(0, 0, 10, 10);
        EXPECT_TRUE(CreateEx(0, "ZqSampleSink", "", WS_POPUP, rect, nullptr, 0));
    }
    ~ResultSink() override { DestroyWindow(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_UPDATE_RESULT) {
            m_result = static_cast<int>(wParam);
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
    // Runs the session that start began to its posted result. A session
    // that posts none in time is ended, so that none runs on when the test
    // returns early.
    int Run(UPDATEProtocol& protocol, int started)
    {
        if (started != UPDATE_RESULT_SUCCESS)
            return started;
        m_result = -1;
        if (!zq::PumpMessagesUntil([this] { return m_result >= 0; }, RESULT_WAIT)) {
            ADD_FAILURE() << "the session's result within " << RESULT_WAIT / 1000 << " s";
            protocol.Close();
            EXPECT_TRUE(protocol.WaitForSession(RESULT_WAIT))
                << "the session's end within " << RESULT_WAIT / 1000 << " s of its close";
            protocol.ResetCancel();
            return -1;
        }
        EXPECT_TRUE(protocol.WaitForSession(10000)) << "the session's end within 10 s";
        return m_result;
    }

private:
    int m_result = -1;
};

std::vector<std::string> XmlFilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".xml") == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

TEST(SampleContainer, TheSimulatorsDefaultKitTakesEveryFileAndConfirmsEach)
{
    const std::string sample = std::string(ZQ_BINARY_DIR) + "/sample/RX7150-sample-update.zip";
    ASSERT_EQ(access(sample.c_str(), R_OK), 0) << sample << " is made by the build (target sample-container)";

    zqtest::CarKitSimulator sim;  // first: it makes the per-user folder of the test
    ASSERT_TRUE(sim.Start()) << sim.Error() << sim.Log();
    std::vector<zqtest::CarKitSimulator::Event> ready = sim.Events("ready");
    ASSERT_EQ(ready.size(), 1u);
    EXPECT_EQ(ready[0].Get("fileok"), "1") << "the default kit confirms files, so no road waits 10 s";
    zqtest::StoreSetting("PortNumber", "COM" + std::to_string(sim.ComNumber()));

    // The folders as start-up sets them, the temp folder a private one.
    zqtest::TempFolder temp("temp");
    zqtest::KeepStartupFolders keepFolders;
    zqtest::ScopedEnvironmentVariable keepTmp("TMP", getenv("TMP"));
    setenv("TMP", zq::LinuxToWindows(temp.Linux()).c_str(), 1);
    const std::string program = zq::LinuxToWindows(std::string(ZQ_BINARY_DIR) + "/bin/test_wizard");
    CQuorinUpdateManagerApp::SetUpFolders(program.c_str());
    const CString repository = UPDATEManager::m_TempFolder + "\\Repository";

    zq::RecordingMessageBoxResponder boxes;
    ResultSink sink;
    const zqtest::ScopedSeam notices(UPDATEManager::SetNotifyWindow, &sink);
    UPDATEProtocol protocol;
    protocol.SetRepositoryFolder(repository);

    // Unpacked with the program folder's 7za, it holds one description.
    ASSERT_EQ(sink.Run(protocol, protocol.StartUnzip(UPDATEManager::m_AppFolder, repository,
                                                     CString(zq::LinuxToWindows(sample).c_str()))),
              UPDATE_RESULT_SUCCESS);
    ASSERT_EQ(XmlFilesIn(temp.Linux("Repository")), std::vector<std::string>{"update.xml"});
    const CString description = repository + "\\update.xml";
    EXPECT_EQ(g_UpdateModel.ParseResourceXml(description), 1);
    EXPECT_TRUE(g_UpdateModel.CheckContainerFiles(description));

    // The kit's own description, fetched as the wizard does.
    ASSERT_EQ(sink.Run(protocol, protocol.StartConnect()), UPDATE_RESULT_SUCCESS);
    ASSERT_EQ(sink.Run(protocol, protocol.StartInquiry()), UPDATE_RESULT_SUCCESS);
    ASSERT_TRUE(g_UpdateModel.ReadProductXml());

    LanguageTexts texts;
    ASSERT_EQ(g_UpdateModel.GetFileList(0, texts), UPDATE_RESULT_SUCCESS);
    std::vector<std::string> selected;
    for (const CString& name : g_UpdateModel.m_FileList)
        selected.push_back(name.GetString());
    // The common file, then per language of the kit its package and, as the
    // kit's vds 3 is not the required 4, the vds files.
    const std::vector<std::string> expected = {"RX7150_Firmware_V139.bin", "english_prompts.lng", "english_vds_4.vds",
                                               "german_prompts.lng", "german_vds_4.vds"};
    EXPECT_EQ(selected, expected);
    EXPECT_EQ(boxes.Count(), 0u) << "the versions differ: no question";

    protocol.SetLastFileName("update.xml");
    ASSERT_EQ(sink.Run(protocol, protocol.StartUpdate()), UPDATE_RESULT_SUCCESS);
    // The kit's answer to the disconnect frame reads as result 1.
    EXPECT_EQ(sink.Run(protocol, protocol.StartDisconnect()), UPDATE_RESULT_DEVICE_DISCONNECTED);

    // Every file arrived whole, the description last under the kit's name,
    // and the kit confirmed each one.
    std::vector<zqtest::CarKitSimulator::Event> files = sim.Events("file");
    ASSERT_EQ(files.size(), expected.size() + 1);
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string name = i < expected.size() ? expected[i] : "RX7150.xml";
        const std::string source = i < expected.size() ? expected[i] : "update.xml";
        EXPECT_EQ(files[i].Get("name"), name);
        EXPECT_EQ(files[i].Get("status"), "ok") << name << ": " << files[i].Get("faults");
        EXPECT_EQ(sim.ReceivedFile(name), temp.Read("Repository/" + source)) << name;
    }
    int confirmations = 0;
    for (const zqtest::CarKitSimulator::Event& sent : sim.Events("tx"))
        confirmations += sent.Number("type") == 10;
    EXPECT_EQ(confirmations, static_cast<int>(files.size()));
    for (const zq::MessageBoxCall& call : boxes.Calls())
        ADD_FAILURE() << "unexpected box: " << call.text;
}

}  // namespace

// The main function of every test program. Each test runs with a home, XDG
// folders and a TMPDIR of its own, all below one folder of the program that
// goes when the program ends, so no test writes into the user's home or
// leaves files in /tmp, and none sees what an earlier test left behind. GTK
// and other libraries that remember these folders for the life of the
// process write below the program's folder too.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/TempFolder.h"

namespace {

class OwnFolders : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override
    {
        setenv("TMPDIR", m_program.Linux().c_str(), 1);
        m_test = std::make_unique<zqtest::TempFolder>();
        struct Variable {
            const char* name;
            const char* folder;
        } variables[] = {
            {"HOME", "home"},           {"XDG_CONFIG_HOME", "config"},
            {"XDG_DATA_HOME", "data"},  {"XDG_CACHE_HOME", "cache"},
            {"XDG_RUNTIME_DIR", "run"}, {"TMPDIR", "tmp"},
        };
        for (const Variable& v : variables) {
            m_test->MakeFolder(v.folder);
            setenv(v.name, m_test->Linux(v.folder).c_str(), 1);
        }
        chmod(m_test->Linux("run").c_str(), 0700);
        // Tests that check what another user meets reach their folders
        // through these.
        for (const std::string& folder : {m_program.Linux(), m_test->Linux(), m_test->Linux("tmp")})
            chmod(folder.c_str(), 0711);
        // The layer then makes its private temporary folder below the
        // test's cache, as it does for a user who has set neither.
        unsetenv("TMP");
        unsetenv("TEMP");
    }
    void OnTestEnd(const ::testing::TestInfo&) override { m_test.reset(); }

private:
    zqtest::TempFolder m_program;
    std::unique_ptr<zqtest::TempFolder> m_test;
};

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new OwnFolders);
    return RUN_ALL_TESTS();
}

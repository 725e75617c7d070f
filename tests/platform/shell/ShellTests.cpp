// ShellExecuteA against a stand-in xdg-open found on PATH: what it is given,
// what it inherits, the answers Win32 documents for each failure, and that
// it ends with the program as every child does.
#include "platform/shell/Shell.h"

#include "platform/paths/DrivePaths.h"
#include "platform/process/Process.h"
#include "platform/window/WinUser.h"
#include "tests/support/Processes.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

intptr_t Code(HINSTANCE result)
{
    return reinterpret_cast<intptr_t>(result);
}

// A folder on PATH, alone, that holds a stand-in xdg-open: it writes its
// argument, its process group and where its standard streams lead, then
// sleeps until it is ended.
class ShellExecute : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string script = m_folder.Write(
            "bin/xdg-open",
            "#!/bin/sh\n"
            "out=$(readlink /proc/$$/fd/1); err=$(readlink /proc/$$/fd/2)\n"
            "pgid=$(cut -d' ' -f5 /proc/$$/stat); d=$(dirname \"$0\")\n"
            "printf 'arg %s\\npgid %s\\nout %s\\nerr %s\\npid %s\\n' \"$1\" \"$pgid\" \"$out\" \"$err\" $$"
            " > \"$d/seen.new\"\n"
            "mv \"$d/seen.new\" \"$d/seen\"\n"
            "exec sleep 600\n");
        ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    }

    // What the stand-in wrote, once it has (10 s at most).
    std::string Seen()
    {
        for (int i = 0; i < 1000 && !m_folder.Exists("bin/seen"); ++i)
            std::this_thread::sleep_for(milliseconds(10));
        return m_folder.Read("bin/seen");
    }

    static pid_t Field(const std::string& seen, const std::string& name)
    {
        const size_t at = seen.find(name + " ");
        return at == std::string::npos ? 0 : static_cast<pid_t>(std::atoi(seen.c_str() + at + name.size() + 1));
    }

    zqtest::TempFolder m_folder;
    zqtest::ScopedEnvironmentVariable m_path{"PATH", m_folder.Linux("bin") + ":/usr/bin:/bin"};
};

TEST_F(ShellExecute, OpensWithXdgOpenAsATrackedChildOnDevNull)
{
    const std::string document = m_folder.Write("a document.txt", "text");
    // The program is the one that ends: a copy of this test program.
    const pid_t program = fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        const intptr_t code = Code(
            ShellExecuteA(nullptr, "open", zq::LinuxToWindows(document).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        for (int i = 0; i < 1000 && !m_folder.Exists("bin/seen"); ++i)
            usleep(10000);
        ExitProcess(code > 32 ? 0 : 9);
    }
    int status = 0;
    ASSERT_EQ(waitpid(program, &status, 0), program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "ShellExecuteA did not answer above 32";
    const std::string seen = Seen();
    EXPECT_NE(seen.find("arg " + document + "\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("out /dev/null\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("err /dev/null\n"), std::string::npos) << seen;
    const pid_t opener = Field(seen, "pid");
    ASSERT_GT(opener, 0) << seen;
    EXPECT_NE(Field(seen, "pgid"), getpgrp()) << "xdg-open runs in the program's own group";
    for (int i = 0; i < 500 && zqtest::ProcessRuns(opener); ++i)
        std::this_thread::sleep_for(milliseconds(10));
    EXPECT_FALSE(zqtest::ProcessRuns(opener)) << "xdg-open outlived the program";
    if (zqtest::ProcessRuns(opener))
        kill(opener, SIGKILL);
}

TEST_F(ShellExecute, AnAddressReachesXdgOpenInUtf8WhateverTheCaseOfOpen)
{
    for (const char* verb : {"open", "OPEN", "", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(verb ? verb : "no verb");
        unlink(m_folder.Linux("bin/seen").c_str());
        // The program's strings are Windows-1252: the euro sign is 0x80 there.
        EXPECT_GT(Code(ShellExecuteA(nullptr, verb, "http://example.org/\x80-\xE4", nullptr, nullptr, SW_SHOWNORMAL)),
                  32)
            << "a value above 32 tells success";
        const std::string seen = Seen();
        EXPECT_NE(seen.find("arg http://example.org/\xE2\x82\xAC-\xC3\xA4\n"), std::string::npos)
            << "what xdg-open was given within 10 s: " << seen;
        if (const pid_t opener = Field(seen, "pid"))
            kill(opener, SIGKILL);
    }
}

// Backslashes at the end of what is opened stand before the closing quote
// of the command line, where they must be doubled to stay backslashes.
TEST_F(ShellExecute, TrailingBackslashesReachXdgOpenIntact)
{
    m_folder.MakeFolder("a folder");
    const std::string folder = zq::LinuxToWindows(m_folder.Linux("a folder"));
    struct Case {
        const char* name;
        std::string file;
        std::string arg;
    } cases[] = {
        {"a folder with a closing backslash", folder + "\\", m_folder.Linux("a folder")},
        {"an address with one", "http://example.org/a\\", "http://example.org/a\\"},
        {"an address with two", "http://example.org/a\\\\", "http://example.org/a\\\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unlink(m_folder.Linux("bin/seen").c_str());
        EXPECT_GT(Code(ShellExecuteA(nullptr, "open", c.file.c_str(), nullptr, nullptr, SW_SHOWNORMAL)), 32);
        const std::string seen = Seen();
        EXPECT_NE(seen.find("arg " + c.arg + "\n"), std::string::npos) << "what xdg-open was given: " << seen;
        if (const pid_t opener = Field(seen, "pid"))
            kill(opener, SIGKILL);
    }
}

TEST_F(ShellExecute, AnswersAsWin32DoesForWhatCannotBeOpened)
{
    const std::string folder = zq::LinuxToWindows(m_folder.Linux());
    struct Case {
        const char* name;
        const char* verb;
        std::string file;
        intptr_t code;
    } cases[] = {
        {"no file", "open", "", SE_ERR_FNF},
        {"a verb other than open", "print", folder + "\\bin\\xdg-open", SE_ERR_NOASSOC},
        {"a missing file", "open", folder + "\\missing.txt", ERROR_FILE_NOT_FOUND},
        {"a missing folder", nullptr, folder + "\\no\\such.txt", ERROR_PATH_NOT_FOUND},
        // Only Z: is a drive here. Windows finds no path on a drive that is
        // not there, even for a name that exists on Z:.
        {"a file on another drive", "open", "C:" + folder.substr(2) + "\\bin\\xdg-open", ERROR_PATH_NOT_FOUND},
        {"a missing file on another drive", "open", "d:/missing.txt", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Code(ShellExecuteA(nullptr, c.verb, c.file.c_str(), nullptr, nullptr, SW_SHOWNORMAL)), c.code)
            << c.name;
    EXPECT_FALSE(m_folder.Exists("bin/seen")) << "xdg-open was started for a failure";

    // No program to open it with.
    zqtest::ScopedEnvironmentVariable noOpener("PATH", m_folder.Linux());
    ASSERT_EQ(unlink(m_folder.Linux("bin/xdg-open").c_str()), 0);
    EXPECT_EQ(Code(ShellExecuteA(nullptr, "open", "https://example.invalid/", nullptr, nullptr, SW_SHOWNORMAL)),
              SE_ERR_NOASSOC);
}

}  // namespace

// ShellExecuteA: an address opened with the desktop's default program, as
// the program that xdg-open starts receives it.
#include "platform/shell/Shell.h"
#include "platform/window/WinUser.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using zqtest::ScopedEnvironmentVariable;
using zqtest::TempFolder;

// A folder whose xdg-open writes what it was given into "opened" (whole, by
// a rename) and ends; the folder is the whole PATH.
class ShellOpen : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string script = m_bin.Write("xdg-open", "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + m_bin.Linux("opened.new")
                                                              + "\" && mv \"" + m_bin.Linux("opened.new") + "\" \""
                                                              + m_bin.Linux("opened") + "\"\n");
        ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    }
    // What the default program was given, waited for up to 10 s; "" when
    // it was not started.
    std::string Opened(std::chrono::milliseconds wait = std::chrono::seconds(10)) const
    {
        const auto until = std::chrono::steady_clock::now() + wait;
        while (access(m_bin.Linux("opened").c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return m_bin.Read("opened");
    }
    static intptr_t Open(const char* verb, const char* file)
    {
        return reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, verb, file, nullptr, nullptr, SW_SHOWMAXIMIZED));
    }

    TempFolder m_bin;
    ScopedEnvironmentVariable m_path{"PATH", m_bin.Linux() + ":/bin:/usr/bin"};
};

TEST_F(ShellOpen, AnAddressGoesToTheDefaultProgramInUtf8)
{
    // The program's strings are Windows-1252: the euro sign is 0x80 there.
    const intptr_t result = Open("open", "http://example.org/\x80-\xE4");
    EXPECT_GT(result, 32) << "a value above 32 tells success";
    EXPECT_EQ(Opened(), "http://example.org/\xE2\x82\xAC-\xC3\xA4|") << "what xdg-open was given within 10 s";
}

TEST_F(ShellOpen, TheVerbOpenInAnyCaseOrNoneOpens)
{
    for (const char* verb : {"OPEN", "", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(verb ? verb : "no verb");
        unlink(m_bin.Linux("opened").c_str());
        EXPECT_GT(Open(verb, "http://example.org/"), 32);
        EXPECT_EQ(Opened(), "http://example.org/|") << "what xdg-open was given within 10 s";
    }
}

TEST_F(ShellOpen, WhatCannotBeOpenedSaysWhyAndStartsNothing)
{
    EXPECT_EQ(Open("open", ""), SE_ERR_FNF);
    EXPECT_EQ(Open("open", nullptr), SE_ERR_FNF);
    EXPECT_EQ(Open("print", "http://example.org/"), SE_ERR_NOASSOC);
    {
        ScopedEnvironmentVariable noProgram("PATH", m_bin.Linux("empty"));
        EXPECT_EQ(Open("open", "http://example.org/"), SE_ERR_NOASSOC) << "no xdg-open on the PATH";
    }
    // A program that was started would have written within this time.
    EXPECT_EQ(Opened(std::chrono::milliseconds(500)), "");
}

}  // namespace

// The environment's Win32 rules, the temporary folders and the per-user
// folders.
#include "platform/paths/Environment.h"
#include "platform/paths/UserFolders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/paths/DrivePaths.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// Sets or clears Linux variables for one test and puts them back after.
class ScopedVariables {
public:
    ScopedVariables(std::initializer_list<std::pair<const char*, const char*>> values)
    {
        for (const auto& v : values)
            m_variables.push_back(std::make_unique<zqtest::ScopedEnvironmentVariable>(v.first, v.second));
    }
    ~ScopedVariables()
    {
        // Newest first, so a name given twice gets its first old value back.
        while (!m_variables.empty())
            m_variables.pop_back();
    }

private:
    std::vector<std::unique_ptr<zqtest::ScopedEnvironmentVariable>> m_variables;
};

std::string Read(const char* name, DWORD* result = nullptr)
{
    char buffer[MAX_PATH] = "untouched";
    SetLastError(0);
    const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    if (result != nullptr)
        *result = length;
    return length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::string("<missing>") : std::string(buffer);
}

TEST(Environment, Win32BufferRules)
{
    ScopedVariables vars({{"ZQ_TEST_VALUE", "Gr\xc3\xbc\xc3\x9f"
                                            "e"},
                          {"ZQ_TEST_EMPTY", ""},
                          {"ZQ_TEST_MISSING", nullptr}});

    char buffer[16];
    EXPECT_EQ(5u, GetEnvironmentVariableA("ZQ_TEST_VALUE", buffer, 6));
    EXPECT_STREQ("Gr\xfc\xdf"
                 "e",
                 buffer);  // Windows-1252
    // One byte short: the size needed with the NUL, buffer left alone.
    char small[5] = "abc";
    EXPECT_EQ(6u, GetEnvironmentVariableA("ZQ_TEST_VALUE", small, sizeof(small)));
    EXPECT_STREQ("abc", small);
    EXPECT_EQ(6u, GetEnvironmentVariableA("ZQ_TEST_VALUE", nullptr, 0));
    // Names do not depend on case.
    EXPECT_EQ(5u, GetEnvironmentVariableA("zq_test_value", buffer, sizeof(buffer)));

    DWORD length = 1;
    EXPECT_EQ("<missing>", Read("ZQ_TEST_MISSING", &length));
    EXPECT_EQ(0u, length);
    EXPECT_EQ("", Read("ZQ_TEST_EMPTY", &length));
    EXPECT_EQ(0u, length);
}

TEST(Environment, TempFoldersReachTheSystemInWindowsForm)
{
    {
        ScopedVariables vars({{"TMP", "/var/tmp/a b"}, {"TEMP", "/other"}});
        EXPECT_EQ("Z:\\var\\tmp\\a b", Read("TMP"));
        EXPECT_EQ("Z:\\other", Read("TEMP"));
    }
    {
        ScopedVariables vars({{"TMP", nullptr}, {"TEMP", "/srv/temp"}});
        EXPECT_EQ("<missing>", Read("TMP"));  // TEMP holds a value: no TMP supplied
        EXPECT_EQ("Z:\\srv\\temp", Read("TEMP"));
    }
    {
        ScopedVariables vars({{"TMP", ""}, {"TEMP", nullptr}});
        EXPECT_EQ("", Read("TMP"));  // set but empty: Windows reports it empty
    }
}

// Neither TMP nor TEMP set, as usual on Linux: the folder supplied is the
// user's own and private, never a fixed name in /tmp that anyone may
// create first. TMPDIR (often /tmp itself) does not count.
TEST(Environment, WithoutTmpOrTempTheUserGetsAPrivateFolder)
{
    zqtest::TempFolder cache("cache");
    const std::string tmp = cache.Linux("zqupdatemanager/tmp");
    ScopedVariables vars(
        {{"TMP", nullptr}, {"TEMP", nullptr}, {"TMPDIR", "/tmp"}, {"XDG_CACHE_HOME", cache.Linux().c_str()}});
    {
        // A mask that takes nothing away: the folder is private all the same.
        const zqtest::ScopedSeam<mode_t> noMask(umask, 0);
        EXPECT_EQ(zq::LinuxToWindows(tmp), Read("TMP"));
    }
    EXPECT_EQ("<missing>", Read("TEMP"));
    struct stat st;
    ASSERT_EQ(0, lstat(tmp.c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(0700u, st.st_mode & 07777);
    EXPECT_EQ(geteuid(), st.st_uid);
    ASSERT_EQ(0, lstat(cache.Linux("zqupdatemanager").c_str(), &st));
    EXPECT_EQ(0u, st.st_mode & 022);

    // Made open to others after all: private again at the next read.
    ASSERT_EQ(0, chmod(tmp.c_str(), 0777));
    EXPECT_EQ(zq::LinuxToWindows(tmp), Read("TMP"));
    ASSERT_EQ(0, lstat(tmp.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 07777);
}

TEST(Environment, APrivateFolderThatIsNotTheUsersOwnIsRefused)
{
    struct Case {
        const char* what;
        // False when this user cannot plant it (chown needs root).
        bool (*plant)(const zqtest::TempFolder& cache, const zqtest::TempFolder& elsewhere);
    } cases[] = {
        {"a link to a folder elsewhere",
         [](const zqtest::TempFolder& cache, const zqtest::TempFolder& elsewhere) {
             cache.MakeFolder("zqupdatemanager");
             return symlink(elsewhere.Linux().c_str(), cache.Linux("zqupdatemanager/tmp").c_str()) == 0;
         }},
        {"a folder of another user",
         [](const zqtest::TempFolder& cache, const zqtest::TempFolder&) {
             cache.MakeFolder("zqupdatemanager");
             cache.MakeFolder("zqupdatemanager/tmp");
             return chown(cache.Linux("zqupdatemanager/tmp").c_str(), geteuid() + 1, getegid()) == 0;
         }},
        {"a program folder of another user",
         [](const zqtest::TempFolder& cache, const zqtest::TempFolder&) {
             cache.MakeFolder("zqupdatemanager");
             return chown(cache.Linux("zqupdatemanager").c_str(), geteuid() + 1, getegid()) == 0;
         }},
        {"a file",
         [](const zqtest::TempFolder& cache, const zqtest::TempFolder&) {
             cache.MakeFolder("zqupdatemanager");
             cache.Write("zqupdatemanager/tmp", "x");
             return true;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        zqtest::TempFolder cache("cache");
        zqtest::TempFolder elsewhere("elsewhere");
        ASSERT_EQ(0, chmod(elsewhere.Linux().c_str(), 0777));
        if (!c.plant(cache, elsewhere))
            continue;
        ScopedVariables vars({{"TMP", nullptr}, {"TEMP", nullptr}, {"XDG_CACHE_HOME", cache.Linux().c_str()}});
        EXPECT_EQ("<missing>", Read("TMP"));
        struct stat st;
        ASSERT_EQ(0, stat(elsewhere.Linux().c_str(), &st));
        EXPECT_EQ(0777u, st.st_mode & 07777);  // nothing was changed through the link
    }
}

}  // namespace

namespace {

std::string PasswdHome()
{
    const struct passwd* pw = getpwuid(getuid());
    return pw != nullptr ? pw->pw_dir : "/";
}

}  // namespace

// The registry, the COM map and the simulator all take the per-user folders
// from here; a relative or missing variable must never make them relative to
// the working folder or to "/".
TEST(UserFolders, OnlyAbsoluteVariablesCountThenThePasswdEntry)
{
    const std::string passwd = PasswdHome();
    struct Case {
        const char* xdgConfig;
        const char* xdgCache;
        const char* home;
        std::string config;
        std::string cache;
    } cases[] = {
        {"/x/conf", "/x/cache", "/h", "/x/conf/zqupdatemanager", "/x/cache/zqupdatemanager"},
        {nullptr, nullptr, "/h", "/h/.config/zqupdatemanager", "/h/.cache/zqupdatemanager"},
        {"rel/conf", "", "/h/", "/h/.config/zqupdatemanager", "/h/.cache/zqupdatemanager"},
        {nullptr, nullptr, nullptr, passwd + "/.config/zqupdatemanager", passwd + "/.cache/zqupdatemanager"},
        {nullptr, nullptr, "relative/home", passwd + "/.config/zqupdatemanager", passwd + "/.cache/zqupdatemanager"},
    };
    for (const Case& c : cases) {
        ScopedVariables vars({{"XDG_CONFIG_HOME", c.xdgConfig}, {"XDG_CACHE_HOME", c.xdgCache}, {"HOME", c.home}});
        const std::string context = std::string("HOME=") + (c.home ? c.home : "<unset>");
        EXPECT_EQ(c.config, zq::UserConfigFolder()) << context;
        EXPECT_EQ(c.cache, zq::UserCacheFolder()) << context;
        EXPECT_EQ('/', zq::UserHomeFolder()[0]) << context;
    }
}

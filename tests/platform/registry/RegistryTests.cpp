// The registry file: values, letter case, atomic replacement, stores that
// cannot be read, killed writers and folders that cannot be written.
#include "platform/registry/Registry.h"
#include "platform/serial/Serial.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <chrono>
#include <csignal>
#include <future>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kSettings[] = "Software\\ZQUpdateManager\\Settings";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

// Every test gets its own XDG_CONFIG_HOME, so tests can run in parallel and
// never touch the real store.
class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = m_root + "/zqupdatemanager";
        m_file = m_folder + "/user.reg";
        ASSERT_EQ(zq::RegistryFilePath(), m_file);
    }

    HKEY Settings(REGSAM access = KEY_ALL_ACCESS)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettings, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }

    zqtest::ScopedXdgConfigHome m_xdg;
    const std::string m_root = m_xdg.Linux();
    std::string m_folder, m_file;
};

TEST_F(Registry, ValuesKeepTypeAndExactBytes)
{
    struct Case {
        const char* name;
        DWORD type;
        std::string bytes;
    } cases[] = {
        {"Language", REG_SZ, std::string("English_UK\0", 11)},
        {"NoNul", REG_SZ, "COM3"},
        {"Empty", REG_SZ, ""},
        {"Binary", REG_BINARY, std::string("\0 %\n\r\x1b\x7f\xff%41 x", 12)},
        {"Number", REG_DWORD, std::string("\x07\x00\x00\x00", 4)},
        {"with blank and %", REG_SZ, std::string("G\xe4rten\0", 7)},
        {"", REG_SZ, std::string("default\0", 8)},
    };
    HKEY key = Settings();
    for (const auto& c : cases)
        ASSERT_EQ(RegSetValueExA(key, c.name, 0, c.type, reinterpret_cast<const BYTE*>(c.bytes.data()),
                                 static_cast<DWORD>(c.bytes.size())),
                  ERROR_SUCCESS)
            << c.name;
    RegCloseKey(key);

    key = Settings(KEY_READ);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD type = 0xdead, size = 0;
        ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
        ASSERT_EQ(size, c.bytes.size());
        char buffer[64];
        size = sizeof buffer;
        ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(std::string(buffer, size), c.bytes);
    }
    // Overwriting keeps one value with the new type and bytes.
    ASSERT_EQ(RegSetValueExA(Settings(), "NoNul", 0, REG_BINARY, reinterpret_cast<const BYTE*>("ab"), 2),
              ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "NoNul", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 2u);
    RegCloseKey(key);
}

TEST_F(Registry, ValueLargerThanBufferGivesMoreData)
{
    HKEY key = Settings();
    const std::string text(150, 'x');
    ASSERT_EQ(RegSetValueExA(key, "PortNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), 151),
              ERROR_SUCCESS);
    char buffer[110];
    memset(buffer, '#', sizeof buffer);
    DWORD size = 100;
    EXPECT_EQ(RegQueryValueExA(key, "PortNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 151u);
    for (size_t i = 100; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], '#') << "written past the buffer at " << i;
    // One byte short is too small as well; the exact size is enough.
    char exact[152];
    memset(exact, '#', sizeof exact);
    size = 150;
    EXPECT_EQ(RegQueryValueExA(key, "PortNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(exact[150], '#') << "written past a buffer one byte short";
    size = 151;
    EXPECT_EQ(RegQueryValueExA(key, "PortNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(exact), text);
    EXPECT_EQ(exact[151], '#');

    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "PortNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(Registry, KeysAndValueNamesIgnoreCase)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettings, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(RegSetValueExA(key, "PortNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>("COM7"), 5), ERROR_SUCCESS);
    RegCloseKey(key);

    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\zqupdatemanager\\SETTINGS", 0, nullptr, 0, KEY_READ,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    char buffer[16];
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "PORTNUMBER", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "COM7");
    // A key opened for reading refuses writes.
    EXPECT_EQ(RegSetValueExA(key, "PortNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>("COM8"), 5),
              ERROR_ACCESS_DENIED);
    RegCloseKey(key);

    // The keys above a created key exist, and a relative open works.
    HKEY parent = nullptr, child = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\ZQUpdateManager", 0, KEY_READ, &parent), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(parent, "Settings", 0, KEY_READ, &child), ERROR_SUCCESS);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(child, "portnumber", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(child), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(child, "portnumber", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    RegCloseKey(parent);
}

TEST_F(Registry, EveryWriteReplacesTheFileAndChangesOnDiskAreSeen)
{
    HKEY key = Settings();
    ASSERT_EQ(RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("Deutsch"), 8), ERROR_SUCCESS);
    // No temporary file is left beside the store.
    EXPECT_EQ(FolderEntries(m_folder), std::vector<std::string>{"user.reg"});

    // Another process rewrites the store: the next query sees it.
    std::string text = ReadFile(m_file);
    size_t at = text.find("Deutsch");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 7, "English_UK");
    WriteFile(m_file, text);
    char buffer[32];
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "Language", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, size), std::string("English_UK\0", 11));

    // A key removed from the file meanwhile is gone for the open handle.
    WriteFile(m_file, "ZQREG 1\n");
    EXPECT_EQ(RegQueryValueExA(key, "Language", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_KEY_DELETED);
    RegCloseKey(key);
}

TEST_F(Registry, UnreadableStoreIsSetAsideAndReadsAsEmpty)
{
    const std::string bad[] = {
        "garbage\n",
        "ZQREG 1\nvalue Orphan 1 x\n",
        "ZQREG 1\nkey Software\nvalue A 1 %4\n",
        "ZQREG 1\nkey Software\nvalue A 99999999999 x\n",
        std::string("ZQREG 1\nkey Soft\x01ware\n"),
    };
    for (const auto& content : bad) {
        SCOPED_TRACE(content);
        ASSERT_EQ(system(("rm -rf '" + m_folder + "'").c_str()), 0);
        HKEY key = Settings();  // makes the folder and a valid store
        RegCloseKey(key);
        WriteFile(m_file, content);

        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettings, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
        std::string aside;
        for (const auto& name : FolderEntries(m_folder)) {
            if (name.rfind("user.reg.corrupt-", 0) == 0)
                aside = name;
        }
        ASSERT_FALSE(aside.empty());
        EXPECT_EQ(ReadFile(m_folder + "/" + aside), content);

        // The program goes on with a fresh store.
        key = Settings();
        EXPECT_EQ(RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("Deutsch"), 8),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
}

// Anything but a regular file in the store's place is set aside like a
// corrupt store, at once: a FIFO must not stop every read for ever.
TEST_F(Registry, AStoreThatIsNoRegularFileIsSetAsideWithoutWaiting)
{
    struct Case {
        const char* what;
        bool (*plant)(const std::string& file);
    } cases[] = {
        {"a FIFO", [](const std::string& file) { return mkfifo(file.c_str(), 0600) == 0; }},
        {"a folder",
         [](const std::string& file) {
             return mkdir(file.c_str(), 0700) == 0 && mkdir((file + "/inside").c_str(), 0700) == 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(system(("rm -rf '" + m_folder + "'").c_str()), 0);
        ASSERT_EQ(mkdir(m_folder.c_str(), 0700), 0);
        ASSERT_TRUE(c.plant(m_file));

        auto read = std::async(std::launch::async, [] {
            HKEY key = nullptr;
            return RegOpenKeyExA(HKEY_CURRENT_USER, kSettings, 0, KEY_READ, &key);
        });
        if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the read waits on the store";
            int fd = open(m_file.c_str(), O_WRONLY | O_NONBLOCK);  // lets the reader go
            if (fd >= 0)
                close(fd);
        }
        EXPECT_EQ(read.get(), ERROR_FILE_NOT_FOUND);
        std::string aside;
        for (const auto& name : FolderEntries(m_folder)) {
            if (name.rfind("user.reg.corrupt-", 0) == 0)
                aside = name;
        }
        EXPECT_FALSE(aside.empty());

        HKEY key = Settings();
        EXPECT_EQ(RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("Deutsch"), 8),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        struct stat st;
        ASSERT_EQ(lstat(m_file.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
    }
}

// Writers killed in the middle of a write leave their new files behind;
// the next write removes them, and the store still reads whole.
TEST_F(Registry, FilesOfKilledWritersAreRemovedAtTheNextWrite)
{
    RegCloseKey(Settings());
    const std::string big(256 * 1024, 'x');
    for (int round = 0; round < 20; ++round) {
        pid_t pid = fork();
        if (pid == 0) {
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettings, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
                _exit(1);
            for (;;)
                RegSetValueExA(key, "Big", 0, REG_BINARY, reinterpret_cast<const BYTE*>(big.data()),
                               static_cast<DWORD>(big.size()));
        }
        ASSERT_GT(pid, 0);
        usleep(static_cast<useconds_t>(2000 + round * 1500));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    // As a crash of an earlier run leaves them, whatever the kills did.
    WriteFile(m_file + ".tmp-99999-1", "ZQREG 1\n");
    WriteFile(m_file + ".tmp-99999-2", "half a st");

    HKEY key = Settings();
    ASSERT_EQ(RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("Deutsch"), 8), ERROR_SUCCESS);
    for (const auto& name : FolderEntries(m_folder))
        EXPECT_NE(name.rfind("user.reg.tmp-", 0), 0u) << name;
    char buffer[16] = {};
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Language", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "Deutsch");
    RegCloseKey(key);
}

// Runs the checks without the rights of root, which writes into read-only
// folders: in a child process as an ordinary user when the test runs as root.
int RunUnprivileged(const std::string& tree, const std::function<int()>& checks)
{
    if (geteuid() != 0)
        return checks();
    struct passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr)
        return -1;
    std::string cmd = "chown -R " + std::to_string(nobody->pw_uid) + " '" + tree + "'";
    if (system(cmd.c_str()) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
            _exit(100);
        _exit(checks());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST_F(Registry, ReadOnlyFolderGivesErrorAndKeepsTheStore)
{
    HKEY key = Settings();
    ASSERT_EQ(RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("Deutsch"), 8), ERROR_SUCCESS);
    RegCloseKey(key);
    const std::string before = ReadFile(m_file);
    ASSERT_EQ(chmod(m_folder.c_str(), 0555), 0);

    int failed = RunUnprivileged(m_root, [] {
        HKEY k = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
            ERROR_SUCCESS)
            return 1;
        if (RegSetValueExA(k, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("English_UK"), 11) !=
            ERROR_ACCESS_DENIED)
            return 2;
        char buffer[16];
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(k, "Language", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
                ERROR_SUCCESS ||
            std::string(buffer, size) != std::string("Deutsch\0", 8))
            return 3;
        HKEY other = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Other", 0, nullptr, 0, KEY_READ, nullptr, &other, nullptr) !=
            ERROR_ACCESS_DENIED)
            return 4;
        RegCloseKey(k);
        return 0;
    });
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(ReadFile(m_file), before);
    EXPECT_EQ(FolderEntries(m_folder), std::vector<std::string>{"user.reg"});
}

TEST_F(Registry, EnumerationWithSmallBuffers)
{
    HKEY key = Settings();
    ASSERT_EQ(RegSetValueExA(key, "A", 0, REG_SZ, reinterpret_cast<const BYTE*>("COM1"), 5), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "LongerName", 0, REG_SZ, reinterpret_cast<const BYTE*>("COM1234567890"), 14),
              ERROR_SUCCESS);

    char name[200], data[200];
    DWORD nameLen = sizeof name, dataLen = sizeof data, type = 0;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataLen),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "A");
    EXPECT_EQ(nameLen, 1u);
    EXPECT_EQ(dataLen, 5u);
    EXPECT_EQ(type, REG_SZ);

    // The name needs room for its NUL.
    nameLen = 10;
    dataLen = sizeof data;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &nameLen, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &dataLen),
              ERROR_MORE_DATA);
    nameLen = 11;
    dataLen = 8;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &nameLen, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &dataLen),
              ERROR_MORE_DATA);
    EXPECT_EQ(dataLen, 14u);
    EXPECT_STREQ(name, "LongerName");

    nameLen = sizeof name;
    dataLen = sizeof data;
    EXPECT_EQ(RegEnumValueA(key, 2, name, &nameLen, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &dataLen),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(Registry, SerialCommComesFromTheProvider)
{
    HKEY key = nullptr;
    const char path[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
    {
        const zqtest::ScopedSeam none(zq::SetSerialCommProvider, nullptr);  // the key does not exist
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    }

    int calls = 0;
    const zqtest::ScopedSeam ports(zq::SetSerialCommProvider, [&calls] {
        ++calls;
        return zq::SerialCommList{{"/dev/ttyUSB0", "COM33"}, {"/dev/rfcomm0", "COM97"}};
    });
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE, &key), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "hardware\\devicemap\\serialcomm", 0, KEY_READ, &key), ERROR_SUCCESS);
    const char* expected[][2] = {{"/dev/ttyUSB0", "COM33"}, {"/dev/rfcomm0", "COM97"}};
    for (DWORD i = 0; i < 2; ++i) {
        char name[200], data[200];
        DWORD nameLen = 200, dataLen = 200, type = 0;
        ASSERT_EQ(RegEnumValueA(key, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataLen),
                  ERROR_SUCCESS);
        EXPECT_STREQ(name, expected[i][0]);
        EXPECT_EQ(std::string(data, dataLen), std::string(expected[i][1]) + '\0');
        EXPECT_EQ(type, REG_SZ);
    }
    char name[200];
    DWORD nameLen = 200;
    EXPECT_EQ(RegEnumValueA(key, 2, name, &nameLen, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegSetValueExA(key, "/dev/ttyS0", 0, REG_SZ, reinterpret_cast<const BYTE*>("COM1"), 5),
              ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_EQ(calls, 1);
    // Nothing of the machine's list goes into the user's store.
    EXPECT_EQ(ReadFile(m_file).find("ttyUSB"), std::string::npos);
}

}  // namespace

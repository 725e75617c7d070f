// The registry functions over the per-user file user.reg and the SERIALCOMM
// key built from the serial ports.
#include "platform/registry/Registry.h"

#include "platform/base/DebugChannel.h"
#include "platform/paths/DrivePaths.h"
#include "platform/paths/UserFolders.h"
#include "platform/strings/Codepage.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// The store file, line by line:
//
//   ZQREG 1
//   key Software\ZQUpdateManager\Settings
//   value PortNumber 1 COM3%00
//
// A "key" line names a key below HKEY_CURRENT_USER (empty for the root); the
// "value" lines after it are its values: name, type in decimal, data. Names
// and data are escaped: every byte outside '!'..'~' and every '%' is written
// as %XX, so blanks separate the fields and any byte survives.

namespace {

const char kHeader[] = "ZQREG 1";
const char kSerialCommPath[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const size_t kMaxStoreSize = 16 * 1024 * 1024;

struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
};

struct Key {
    std::string path;  // components joined with '\', as first created
    std::vector<Value> values;
};

struct Store {
    std::vector<Key> keys;
};

enum class Root { CurrentUser, LocalMachine };

struct OpenKey {
    OpenKey() = default;
    OpenKey(Root r, std::string p, REGSAM a) : root(r), path(std::move(p)), access(a) {}
    Root root = Root::CurrentUser;
    std::string path;
    REGSAM access = 0;
    bool serialComm = false;
    std::vector<Value> snapshot;  // the SERIALCOMM list taken at the open
};

// Process-wide state, built on first use: other areas install the provider
// from their static initialisers, before this file's globals would exist.
struct RegistryState {
    std::mutex mutex;  // guards the handle table and every store access
    std::map<uintptr_t, OpenKey> keys;
    uintptr_t nextKey = 0x2000;
    std::mutex providerMutex;
    std::function<zq::SerialCommList()> provider;
};

RegistryState& State()
{
    static RegistryState* state = new RegistryState;  // lives until process end
    return *state;
}

std::vector<std::string> SplitPath(const std::string& path)
{
    return zq::SplitAt(path, '\\');
}

std::string JoinPath(const std::vector<std::string>& parts, size_t count)
{
    return zq::JoinFirst(parts, count, '\\');
}

std::string ChildPath(const std::string& base, LPCSTR subKey)
{
    std::vector<std::string> parts = SplitPath(base);
    if (subKey != nullptr) {
        for (auto& part : SplitPath(subKey))
            parts.push_back(part);
    }
    return JoinPath(parts, parts.size());
}

// ---- escaping -------------------------------------------------------------

std::string Escape(const std::string& bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (c > 0x20 && c < 0x7F && c != '%') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Unescape(const std::string& text, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 >= text.size())
                return false;
            int high = HexDigit(text[i + 1]);
            int low = HexDigit(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c > 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            return false;
        }
    }
    return true;
}

// ---- the store file -------------------------------------------------------

std::string StoreFolder()
{
    return zq::UserConfigFolder();
}

Key* FindKey(Store& store, const std::string& path)
{
    for (auto& key : store.keys) {
        if (zq::EqualNoCaseCp1252(key.path, path))
            return &key;
    }
    return nullptr;
}

Value* FindValue(std::vector<Value>& values, const std::string& name)
{
    for (auto& value : values) {
        if (zq::EqualNoCaseCp1252(value.name, name))
            return &value;
    }
    return nullptr;
}

bool ParseStore(const std::string& text, Store& store)
{
    store.keys.clear();
    size_t pos = 0;
    bool first = true;
    Key* current = nullptr;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (first) {
            if (line != kHeader)
                return false;
            first = false;
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        size_t start = 0;
        for (;;) {
            size_t blank = line.find(' ', start);
            if (blank == std::string::npos) {
                fields.push_back(line.substr(start));
                break;
            }
            fields.push_back(line.substr(start, blank - start));
            start = blank + 1;
        }
        if (fields[0] == "key" && fields.size() == 2) {
            std::string path;
            if (!Unescape(fields[1], path))
                return false;
            std::vector<std::string> parts = SplitPath(path);
            path = JoinPath(parts, parts.size());
            current = FindKey(store, path);
            if (current == nullptr) {
                store.keys.push_back(Key{path, {}});
                current = &store.keys.back();
            }
        } else if (fields[0] == "value" && fields.size() == 4 && current != nullptr) {
            Value value;
            if (!Unescape(fields[1], value.name) || !Unescape(fields[3], value.data))
                return false;
            const std::string& type = fields[2];
            if (type.empty() || type.size() > 10)
                return false;
            unsigned long long number = 0;
            for (char c : type) {
                if (c < '0' || c > '9')
                    return false;
                number = number * 10 + static_cast<unsigned>(c - '0');
            }
            if (number > 0xFFFFFFFFull)
                return false;
            value.type = static_cast<DWORD>(number);
            if (Value* existing = FindValue(current->values, value.name))
                *existing = value;
            else
                current->values.push_back(value);
        } else {
            return false;
        }
    }
    return !first;
}

std::string FormatStore(const Store& store)
{
    std::string text = std::string(kHeader) + "\n";
    for (const auto& key : store.keys) {
        text += "key " + Escape(key.path) + "\n";
        for (const auto& value : key.values)
            text += "value " + Escape(value.name) + " " + std::to_string(value.type) + " " + Escape(value.data) + "\n";
    }
    return text;
}

// Renames a store that cannot be used to user.reg.corrupt-<time>.
void SetAside(const std::string& path)
{
    char stamp[32];
    time_t now = time(nullptr);
    struct tm tmNow;
    localtime_r(&now, &tmNow);
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tmNow);
    std::string aside = path + ".corrupt-" + stamp;
    for (int n = 1; n < 100 && access(aside.c_str(), F_OK) == 0; ++n)
        aside = path + ".corrupt-" + stamp + "-" + std::to_string(n);
    // When the rename fails (read-only folder) the file stays; it still
    // reads as empty and the next successful write replaces it.
    if (rename(path.c_str(), aside.c_str()) != 0)
        zq::DebugFailure(zq::DebugArea::Registry, "rename", path.c_str(), errno);
}

// Reads the store. A missing file is an empty store; a file that cannot be
// parsed is renamed aside and the store is empty. Returns ERROR_SUCCESS or the
// error of a file that exists but cannot be read.
LONG LoadStore(Store& store)
{
    store.keys.clear();
    const std::string path = zq::RegistryFilePath();
    // O_NONBLOCK: a FIFO or a device in the store's place must not stop
    // the open; only a regular file is read.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return ERROR_SUCCESS;
        zq::DebugFailure(zq::DebugArea::Registry, "open", path.c_str(), err);
        if (err == ENXIO) {  // a socket
            SetAside(path);
            return ERROR_SUCCESS;
        }
        return static_cast<LONG>(Win32ErrorFromErrno(err));
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        SetAside(path);
        return ERROR_SUCCESS;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string text;
    char buffer[65536];
    bool tooLarge = false;
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            close(fd);
            return static_cast<LONG>(Win32ErrorFromErrno(err));
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > kMaxStoreSize) {
            tooLarge = true;
            break;
        }
    }
    close(fd);
    if (!tooLarge && ParseStore(text, store))
        return ERROR_SUCCESS;

    store.keys.clear();
    SetAside(path);
    return ERROR_SUCCESS;
}

bool MakeFolders(const std::string& folder)
{
    std::string partial;
    for (size_t i = 1; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == '/') {
            partial = folder.substr(0, i);
            if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    struct stat st;
    if (stat(folder.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Holds an advisory lock on the store folder while a change is read,
// made and written, so that two processes do not lose each other's change.
// The wait is bounded: a process that hangs while holding the lock delays a
// change by a few seconds, after which it goes ahead without the lock.
class FolderLock {
public:
    FolderLock()
    {
        std::string folder = StoreFolder();
        if (MakeFolders(folder))
            m_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) {
            zq::DebugFailure(zq::DebugArea::Registry, "open", folder.c_str(), errno);
            return;
        }
        for (int attempt = 0; attempt < 500; ++attempt) {
            if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
                m_held = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR)
                break;
            usleep(10000);
        }
        zq::DebugFailure(zq::DebugArea::Registry, "flock", folder.c_str(), errno);
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Whether no other writer of the layer is at work in the folder.
    bool Held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};

// Removes the new files that a writer killed before its rename left
// behind. Only under the folder lock: then no writer is at work.
void RemoveLeftoverTemps(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> leftovers;
    while (struct dirent* entry = readdir(dir)) {
        if (strncmp(entry->d_name, "user.reg.tmp-", 13) == 0)
            leftovers.push_back(folder + "/" + entry->d_name);
    }
    closedir(dir);
    for (const std::string& leftover : leftovers) {
        if (unlink(leftover.c_str()) != 0)
            zq::DebugFailure(zq::DebugArea::Registry, "unlink", leftover.c_str(), errno);
    }
}

// Replaces the store file: a new file in the same folder, flushed to disk,
// renamed over the old one. On any failure the old file stays as it was.
LONG SaveStore(const Store& store, const FolderLock& folderLock)
{
    const std::string folder = StoreFolder();
    if (!MakeFolders(folder)) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Registry, "mkdir", folder.c_str(), err);
        return static_cast<LONG>(Win32ErrorFromErrno(err));
    }
    if (folderLock.Held())
        RemoveLeftoverTemps(folder);
    const std::string path = folder + "/user.reg";
    static unsigned counter = 0;
    std::string temp = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Registry, "open", temp.c_str(), err);
        return static_cast<LONG>(Win32ErrorFromErrno(err));
    }
    if (!WriteAll(fd, FormatStore(store)) || fsync(fd) != 0) {
        int err = errno;
        zq::DebugFailure(zq::DebugArea::Registry, "write", temp.c_str(), err);
        close(fd);
        unlink(temp.c_str());
        return static_cast<LONG>(Win32ErrorFromErrno(err));
    }
    if (close(fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        int err = errno;
        zq::DebugFailure(zq::DebugArea::Registry, "rename", temp.c_str(), err);
        unlink(temp.c_str());
        return static_cast<LONG>(Win32ErrorFromErrno(err));
    }
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return ERROR_SUCCESS;
}

// ---- handles --------------------------------------------------------------

bool IsCurrentUser(HKEY key)
{
    return key == HKEY_CURRENT_USER;
}
bool IsLocalMachine(HKEY key)
{
    return key == HKEY_LOCAL_MACHINE;
}

// The key that a handle names, with the registry lock held. False for a bad handle.
bool ResolveLocked(HKEY hKey, OpenKey& out)
{
    if (IsCurrentUser(hKey)) {
        out = OpenKey(Root::CurrentUser, "", KEY_ALL_ACCESS);
        return true;
    }
    if (IsLocalMachine(hKey)) {
        out = OpenKey(Root::LocalMachine, "", KEY_READ);
        return true;
    }
    auto it = State().keys.find(reinterpret_cast<uintptr_t>(hKey));
    if (it == State().keys.end())
        return false;
    out = it->second;
    return true;
}

HKEY AddHandleLocked(OpenKey key)
{
    uintptr_t value = State().nextKey;
    State().nextKey += 4;
    State().keys.emplace(value, std::move(key));
    return reinterpret_cast<HKEY>(value);
}

const REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x00010000u /* DELETE */
                            | 0x00040000u /* WRITE_DAC */ | 0x00080000u /* WRITE_OWNER */;

// Opens a key below HKEY_LOCAL_MACHINE: only SERIALCOMM exists.
LONG OpenLocalMachine(const std::string& path, REGSAM access, PHKEY result, LPDWORD disposition)
{
    if (!zq::EqualNoCaseCp1252(path, kSerialCommPath))
        return (access & kWriteRights) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    std::function<zq::SerialCommList()> provider;
    {
        std::lock_guard<std::mutex> lock(State().providerMutex);
        provider = State().provider;
    }
    if (!provider)
        return (access & kWriteRights) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    if (access & kWriteRights)
        return ERROR_ACCESS_DENIED;
    OpenKey key{Root::LocalMachine, kSerialCommPath, access};
    key.serialComm = true;
    for (const auto& port : provider()) {
        Value value;
        value.name = port.first;
        value.type = REG_SZ;
        value.data = port.second + '\0';
        if (Value* existing = FindValue(key.snapshot, value.name))
            *existing = value;
        else
            key.snapshot.push_back(value);
    }
    std::lock_guard<std::mutex> lock(State().mutex);
    *result = AddHandleLocked(std::move(key));
    if (disposition != nullptr)
        *disposition = REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG OpenOrCreate(HKEY hKey, LPCSTR lpSubKey, REGSAM access, bool create, PHKEY result, LPDWORD disposition)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenKey base;
    {
        std::lock_guard<std::mutex> lock(State().mutex);
        if (!ResolveLocked(hKey, base))
            return ERROR_INVALID_HANDLE;
    }
    std::string path = ChildPath(base.path, lpSubKey);
    if (base.root == Root::LocalMachine)
        return OpenLocalMachine(path, access, result, disposition);

    std::lock_guard<std::mutex> lock(State().mutex);
    std::unique_ptr<FolderLock> folderLock;
    if (create)
        folderLock.reset(new FolderLock);
    Store store;
    LONG status = LoadStore(store);
    if (status != ERROR_SUCCESS)
        return status;
    DWORD how = REG_OPENED_EXISTING_KEY;
    if (!path.empty()) {
        Key* key = FindKey(store, path);
        if (key != nullptr) {
            path = key->path;
        } else if (!create) {
            return ERROR_FILE_NOT_FOUND;
        } else {
            // The keys above a new key come into being with it.
            std::vector<std::string> parts = SplitPath(path);
            for (size_t n = 1; n <= parts.size(); ++n) {
                std::string partial = JoinPath(parts, n);
                if (FindKey(store, partial) == nullptr)
                    store.keys.push_back(Key{partial, {}});
            }
            status = SaveStore(store, *folderLock);
            if (status != ERROR_SUCCESS)
                return status;
            how = REG_CREATED_NEW_KEY;
        }
    }
    *result = AddHandleLocked(OpenKey(Root::CurrentUser, path, access));
    if (disposition != nullptr)
        *disposition = how;
    return ERROR_SUCCESS;
}

// Copies one value out by the rules of RegQueryValueExA.
LONG CopyValueOut(const Value& value, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpData != nullptr && lpcbData == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (lpType != nullptr)
        *lpType = value.type;
    const DWORD size = static_cast<DWORD>(value.data.size());
    if (lpcbData == nullptr)
        return ERROR_SUCCESS;
    if (lpData == nullptr) {
        *lpcbData = size;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (size > 0)
        memcpy(lpData, value.data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

// Loads the values of an open key, with the registry lock held.
LONG ValuesOfLocked(const OpenKey& key, std::vector<Value>& values)
{
    if (key.serialComm) {
        values = key.snapshot;
        return ERROR_SUCCESS;
    }
    if (key.root == Root::LocalMachine) {
        values.clear();
        return ERROR_SUCCESS;
    }
    Store store;
    LONG status = LoadStore(store);
    if (status != ERROR_SUCCESS)
        return status;
    if (key.path.empty()) {
        Key* root = FindKey(store, "");
        values = root ? root->values : std::vector<Value>();
        return ERROR_SUCCESS;
    }
    Key* found = FindKey(store, key.path);
    if (found == nullptr)
        return ERROR_KEY_DELETED;
    values = found->values;
    return ERROR_SUCCESS;
}

// Loads the values of a key handle opened for querying, with the registry
// lock held.
LONG QueryValuesLocked(HKEY hKey, std::vector<Value>& values)
{
    OpenKey key;
    if (!ResolveLocked(hKey, key))
        return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    return ValuesOfLocked(key, values);
}

}  // namespace

namespace zq {

SerialCommProvider SetSerialCommProvider(SerialCommProvider provider)
{
    std::lock_guard<std::mutex> lock(State().providerMutex);
    SerialCommProvider previous = std::move(State().provider);
    State().provider = std::move(provider);
    return previous;
}

std::string RegistryFilePath()
{
    return StoreFolder() + "/user.reg";
}

}  // namespace zq

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired, const LPSECURITY_ATTRIBUTES,
                        PHKEY phkResult, LPDWORD lpdwDisposition)
{
    return OpenOrCreate(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    return OpenOrCreate(hKey, lpSubKey, samDesired, false, phkResult, nullptr);
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData)
{
    if (lpReserved != nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(State().mutex);
    std::vector<Value> values;
    LONG status = QueryValuesLocked(hKey, values);
    if (status != ERROR_SUCCESS)
        return status;
    Value* value = FindValue(values, lpValueName ? lpValueName : "");
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    return CopyValueOut(*value, lpType, lpData, lpcbData);
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    if (lpData == nullptr && cbData != 0)
        return ERROR_NOACCESS;
    std::lock_guard<std::mutex> lock(State().mutex);
    OpenKey key;
    if (!ResolveLocked(hKey, key))
        return ERROR_INVALID_HANDLE;
    if (key.root != Root::CurrentUser || !(key.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    FolderLock folderLock;
    Store store;
    LONG status = LoadStore(store);
    if (status != ERROR_SUCCESS)
        return status;
    Key* target = FindKey(store, key.path);
    if (target == nullptr) {
        if (!key.path.empty())
            return ERROR_KEY_DELETED;
        store.keys.insert(store.keys.begin(), Key{"", {}});
        target = &store.keys.front();
    }
    Value value;
    value.name = lpValueName ? lpValueName : "";
    value.type = dwType;
    if (cbData > 0)
        value.data.assign(reinterpret_cast<const char*>(lpData), cbData);
    if (Value* existing = FindValue(target->values, value.name)) {
        existing->type = value.type;
        existing->data = value.data;
    } else {
        target->values.push_back(value);
    }
    return SaveStore(store, folderLock);
}

LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpReserved != nullptr || lpValueName == nullptr || lpcchValueName == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(State().mutex);
    std::vector<Value> values;
    LONG status = QueryValuesLocked(hKey, values);
    if (status != ERROR_SUCCESS)
        return status;
    if (dwIndex >= values.size())
        return ERROR_NO_MORE_ITEMS;
    const Value& value = values[dwIndex];
    // The name needs room for its NUL; a name that does not fit is not
    // stored and the data is not touched.
    if (value.name.size() + 1 > *lpcchValueName)
        return ERROR_MORE_DATA;
    memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    return CopyValueOut(value, lpType, lpData, lpcbData);
}

LSTATUS RegCloseKey(HKEY hKey)
{
    if (IsCurrentUser(hKey) || IsLocalMachine(hKey))
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(State().mutex);
    if (State().keys.erase(reinterpret_cast<uintptr_t>(hKey)) == 0)
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

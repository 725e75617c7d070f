// The registry: RegCreateKeyExA, RegOpenKeyExA, RegQueryValueExA,
// RegSetValueExA, RegEnumValueA and RegCloseKey with Win32 semantics.
//
// HKEY_CURRENT_USER is kept in one file per user,
// $XDG_CONFIG_HOME/zqupdatemanager/user.reg (~/.config/... when
// XDG_CONFIG_HOME is not set). Key and value names are compared without
// regard to case; values keep their type and their exact bytes. Every call
// reads the file afresh, so changes by another process are seen, and every
// change replaces the file atomically. A file that cannot be parsed, or
// anything but a regular file in its place (a FIFO, a folder), is renamed
// to user.reg.corrupt-<time> without waiting on it, and the store reads as
// empty. New files that a killed writer left behind (user.reg.tmp-*) are
// removed by the next change.
//
// HKEY_LOCAL_MACHINE holds only HARDWARE\DEVICEMAP\SERIALCOMM, read-only and
// built by the provider that the serial-port area installs with
// zq::SetSerialCommProvider; each open of the key takes a fresh list. Without
// a provider the key does not exist.
#pragma once

#include "platform/base/KernelObject.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

typedef LONG LSTATUS;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;

#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<LONG>(0x80000001u))))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<LONG>(0x80000002u))))

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003Fu

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u

#define REG_OPTION_NON_VOLATILE 0x0u
#define REG_OPTION_VOLATILE 0x1u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

// Creates the key and the keys above it when missing, or opens it.
LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                        const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition);
LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
// With lpData null and lpcbData set: the size. A buffer too small gives
// ERROR_MORE_DATA with the size needed in *lpcbData.
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData);
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData);
// Values in the order they were first written. *lpcchValueName is the name
// buffer's size with room for the NUL on entry, the name's length without
// it on return.
LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegCloseKey(HKEY hKey);

namespace zq {

// One serial port: value name = the Linux device ("/dev/ttyUSB0"), data =
// the COM name ("COM33"), which SERIALCOMM holds as REG_SZ with its NUL.
typedef std::vector<std::pair<std::string, std::string>> SerialCommList;

// Installs (or with an empty function removes) the source of
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM and returns the one it
// replaces. It is called on every open of that key, on the opening thread,
// without any registry lock held.
using SerialCommProvider = std::function<SerialCommList()>;
SerialCommProvider SetSerialCommProvider(SerialCommProvider provider);

// The file that holds HKEY_CURRENT_USER, from the current environment.
std::string RegistryFilePath();

}  // namespace zq

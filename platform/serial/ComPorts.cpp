// Which Linux device a COM name stands for, and the list of the ports that
// exist.
#include "platform/serial/ComPorts.h"

#include "platform/base/DebugChannel.h"
#include "platform/paths/UserFolders.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Whether a path names a terminal device, found without opening it (an open
// raises DTR on real hardware): a pseudo-terminal slave (majors 136-143), or
// a character device that sysfs files under the tty class.
bool IsTtyDevice(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned major = ::major(st.st_rdev), minor = ::minor(st.st_rdev);
    if (major >= 136 && major <= 143)
        return true;
    char link[PATH_MAX];
    const std::string sys = "/sys/dev/char/" + std::to_string(major) + ":" + std::to_string(minor) + "/subsystem";
    ssize_t n = readlink(sys.c_str(), link, sizeof link - 1);
    if (n < 0)
        return errno == ENOENT && access("/sys/dev/char", F_OK) != 0;  // no sysfs: take it as it is
    const std::string subsystem(link, static_cast<size_t>(n));
    return subsystem.size() >= 4 && subsystem.compare(subsystem.size() - 4, 4, "/tty") == 0;
}

// Whether a default device answers as a serial port. The 8250 driver creates
// /dev/ttyS0-31 whether or not a UART is behind them and reports "type" 0
// for none.
bool DefaultDeviceAnswers(const std::string& device)
{
    if (!IsTtyDevice(device))
        return false;
    const std::string base = device.substr(device.rfind('/') + 1);
    if (base.compare(0, 4, "ttyS") != 0)
        return true;
    const std::string typePath = "/sys/class/tty/" + base + "/type";
    int fd = open(typePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    char text[16] = {};
    ssize_t n = read(fd, text, sizeof text - 1);
    if (n < 0)
        zq::DebugFailure(zq::DebugArea::Serial, "read", typePath.c_str(), errno);
    close(fd);
    return n > 0 && std::atoi(text) != 0;
}

std::string DefaultDevice(int portNumber)
{
    static const char* const kFamilies[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM", "/dev/rfcomm"};
    if (portNumber < 1 || portNumber > 128)
        return std::string();
    return kFamilies[(portNumber - 1) / 32] + std::to_string((portNumber - 1) % 32);
}

std::string LinkPath(int portNumber)
{
    return zq::DosDevicesFolder() + "/com" + std::to_string(portNumber);
}

}  // namespace

namespace zq {

int ParseComPortName(const char* name)
{
    if (name == nullptr)
        return -1;
    if (std::strncmp(name, "\\\\.\\", 4) == 0)
        name += 4;
    if (strncasecmp(name, "COM", 3) != 0)
        return -1;
    name += 3;
    if (*name < '0' || *name > '9')
        return -1;
    long number = 0;
    for (; *name >= '0' && *name <= '9'; ++name) {
        number = number * 10 + (*name - '0');
        if (number > 255)
            return -1;
    }
    return *name == '\0' ? static_cast<int>(number) : -1;
}

std::string DosDevicesFolder()
{
    return UserConfigFolder() + "/dosdevices";
}

std::string ComPortDevice(int portNumber, bool* fromLink)
{
    if (fromLink)
        *fromLink = false;
    if (portNumber < 1 || portNumber > 255)
        return std::string();
    const std::string link = LinkPath(portNumber);
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (fromLink)
            *fromLink = true;
        return link;
    }
    return DefaultDevice(portNumber);
}

SerialCommList ListSerialPorts()
{
    SerialCommList list;
    auto named = [&list](const std::string& device) {
        for (const auto& entry : list) {
            if (entry.first == device)
                return true;
        }
        return false;
    };
    for (int n = 1; n <= 255; ++n) {
        bool fromLink = false;
        std::string device = ComPortDevice(n, &fromLink);
        if (device.empty())
            continue;
        if (fromLink) {
            char resolved[PATH_MAX];
            if (realpath(device.c_str(), resolved) == nullptr) {
                DebugFailure(zq::DebugArea::Serial, "realpath", device.c_str(), errno);
                continue;
            }
            if (!IsTtyDevice(resolved))
                continue;
            device = resolved;
        } else if (!DefaultDeviceAnswers(device)) {
            continue;
        }
        // Value names are unique: a device that two ports name is listed once.
        if (!named(device))
            list.emplace_back(device, "COM" + std::to_string(n));
    }
    return list;
}

void InstallSerialCommProvider()
{
    SetSerialCommProvider(ListSerialPorts);
}

}  // namespace zq

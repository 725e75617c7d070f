// The inquiry and update sessions against a car kit that sends arbitrary
// frames: FileInfo of any size, data frames with any sequence number, NAKs
// with any payload, PtFileOK in every state, frames longer than the layer's
// block, and bytes without framing. The sessions run on their own thread and
// read a real port (a pseudo-terminal) through the frame layer; the fuzzer
// plays the car kit on the other side.
//
// Input: one byte that picks the session and the kit's model, then records
// of [control, type, length, payload...]. Control bits:
//   0x01 wait (up to 20 ms) for the PC's next frame before sending
//   0x02 pad the payload past the 2046 bytes that a received frame may have
//   0x04 raw: the payload goes out as it is, without framing
//   0x08 the first four payload bytes become the next data sequence number
//   0x10 a wrong check byte
// When the records are used up, the kit is unplugged: every session must
// then end at once with the lost-link result, long before its time-outs. A
// session that has not ended within 5 s counts as a hang.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "link/FrameLayer.h"
#include "link/UPDATEProtocol.h"
#include "tests/support/link/RecordingProtocol.h"
#include "platform/paths/DrivePaths.h"
#include "tests/support/Pty.h"
#include "tests/support/TempFolder.h"
#include "tools/carkit-sim/Wire.h"

namespace {

const int COM = 250;
const int SESSION_END_WAIT_MS = 5000;

std::string s_folder;

CString WinPath(const std::string& path)
{
    return CString(zq::LinuxToWindows(path).c_str());
}

zqtest::RecordingProtocol& Protocol()
{
    static zqtest::RecordingProtocol* protocol = [] {
        // Removed with all in it when the process ends.
        static zqtest::TempFolder folder;
        s_folder = folder.Linux();
        // The COM map, the registry and product.xml stay inside the folder.
        setenv("XDG_CONFIG_HOME", (s_folder + "/config").c_str(), 1);
        for (const char* sub :
             {"/config", "/config/zqupdatemanager", "/config/zqupdatemanager/dosdevices", "/work", "/repository"})
            mkdir((s_folder + sub).c_str(), 0700);
        std::string data(2500, '\0');
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>(i * 31 + 7);
        folder.Write("repository/a.bin", data);
        folder.Write("repository/b.bin", "");
        folder.Write("repository/update.xml", "<update/>\n");
        g_WorkFolder = WinPath(s_folder + "/work");
        auto* made = new zqtest::RecordingProtocol;
        made->SetRepositoryFolder(WinPath(s_folder + "/repository"));
        return made;
    }();
    return *protocol;
}

// The car kit's side of one run.
class Kit {
public:
    Kit()
    {
        if (m_line.Slave().empty())
            abort();
        const std::string link = s_folder + "/config/zqupdatemanager/dosdevices/com" + std::to_string(COM);
        unlink(link.c_str());
        if (symlink(m_line.Slave().c_str(), link.c_str()) != 0)
            abort();
    }

    void Unplug() { m_line.CloseMaster(); }

    // Reads what the PC sent; counts its frames by their start bytes.
    void Drain()
    {
        uint8_t buffer[4096];
        for (;;) {
            ssize_t n = read(m_line.Master(), buffer, sizeof buffer);
            if (n <= 0)
                return;
            for (ssize_t i = 0; i < n; ++i)
                if (buffer[i] == 0x1C)
                    m_pcFrames++;
        }
    }

    void WaitForPcFrame(int milliseconds)
    {
        const unsigned seen = m_pcFrames;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (m_pcFrames == seen && std::chrono::steady_clock::now() < until) {
            pollfd p{m_line.Master(), POLLIN, 0};
            poll(&p, 1, 2);
            Drain();
        }
    }

    // Writes everything, reading the PC's side meanwhile so that neither
    // side blocks the other; gives up after 200 ms.
    void Send(const std::vector<uint8_t>& bytes)
    {
        size_t at = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        while (at < bytes.size() && std::chrono::steady_clock::now() < until) {
            ssize_t n = write(m_line.Master(), bytes.data() + at, bytes.size() - at);
            if (n > 0) {
                at += static_cast<size_t>(n);
                continue;
            }
            pollfd p{m_line.Master(), POLLOUT | POLLIN, 0};
            poll(&p, 1, 2);
            Drain();
        }
        Drain();
    }

private:
    zqtest::Pty m_line{O_NONBLOCK};
    unsigned m_pcFrames = 0;
};

// The frame as the car kit sends it, built by the simulator's own framing.
std::vector<uint8_t> Frame(uint8_t type, const std::vector<uint8_t>& payload, bool badCheck)
{
    carkit::Bytes plain = carkit::BuildFrame(type, payload);
    if (badCheck)
        plain.back() ^= 0x5A;
    return carkit::Stuff(plain);
}

UPDATEDevice Device(const char* name, const char* software)
{
    UPDATEDevice device;
    device.name = name;
    device.software = software;
    return device;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    zqtest::RecordingProtocol& protocol = Protocol();
    const uint8_t setup = data[0];
    const bool update = (setup & 0x01) != 0;

    Kit kit;
    if (OpenSerialPort(COM) != 1)
        abort();
    g_UpdateModel.Reset();
    if (update) {
        static const UPDATEDevice kDevices[] = {Device("RX7150", "137"), Device("RX7150", "138"),
                                                Device("RX5230", "100"), Device("Other", "1")};
        g_UpdateModel.m_Product.devices.push_back(kDevices[(setup >> 1) & 3]);
        g_UpdateModel.m_FileList = {"a.bin"};
        if (setup & 0x08)
            g_UpdateModel.m_FileList.push_back("b.bin");
        protocol.SetLastFileName("update.xml");
    }
    UPDATEManager::m_CancelRequested = 0;
    protocol.Reset();
    if ((update ? protocol.StartUpdate() : protocol.StartInquiry()) != UPDATEProtocol::SESSION_STARTED)
        abort();

    uint32_t sequence = 0;
    size_t pos = 1;
    while (pos + 3 <= size && protocol.ResultCount() == 0) {
        const uint8_t control = data[pos];
        const uint8_t type = data[pos + 1];
        size_t length = data[pos + 2];
        pos += 3;
        if (length > size - pos)
            length = size - pos;
        std::vector<uint8_t> payload(data + pos, data + pos + length);
        pos += length;
        if (control & 0x08) {
            if (payload.size() < 4)
                payload.resize(4);
            for (int i = 0; i < 4; ++i)
                payload[static_cast<size_t>(i)] = static_cast<uint8_t>(sequence >> (8 * i));
            sequence++;
        }
        if (control & 0x02)
            payload.resize(2100, payload.empty() ? 0x55 : payload.back());
        if (control & 0x01)
            kit.WaitForPcFrame(20);
        kit.Send((control & 0x04) ? payload : Frame(type, payload, (control & 0x10) != 0));
    }

    kit.Unplug();
    if (protocol.WaitResult(SESSION_END_WAIT_MS) < 0 || !protocol.WaitForSession(SESSION_END_WAIT_MS)) {
        fprintf(stderr, "sessions: the %s session did not end after the kit was unplugged\n",
                update ? "update" : "inquiry");
        abort();
    }
    CloseSerialPort();
    g_UpdateModel.Reset();
    return 0;
}

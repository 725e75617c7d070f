// startup-bench: starts the real program (ZQUpdateManager, beside this
// executable) under its own virtual X server and prints
//
//   first paint: N ms    the median time from exec to the wizard's first
//                        page on the screen, polled every 2 ms
//   peak memory: M MB    the program's peak resident memory (VmHWM) through
//                        a whole update against the car-kit simulator
//
// The update is driven as a user does it, with the pointer and the keyboard:
// Next, Browse and the container's path typed into the file chooser, Next,
// COM7 typed into the port box, Next, Next, until the success page. It is a
// benchmark: it prints figures and fails on no time; it ends with 1 only
// when the program or the road could not be run.
#include "VirtualScreen.h"
#include "tests/support/Xvfb.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// The background's banner colour, the top 62 rows of the client area.
const uint32_t kBanner = 0x33434C;
const int kClientWidth = 650;
// Rectangles in client pixels, from the dialog template (6 x 13 pixels per
// 4 x 8 dialog units).
const int kNextX = 495, kNextY = 458, kNextW = 135, kNextH = 26;
const int kBrowseX = 286, kBrowseY = 471;
const int kPortX = 240, kPortY = 368;
// Where the pointer rests between clicks: the page's white margin.
const int kRestX = 8, kRestY = 250;

double NowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string Folder(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string SelfFolder()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    return n > 0 ? Folder(std::string(path, static_cast<size_t>(n))) : ".";
}

bool WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary);
    out << content;
    return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& logPath = "")
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (!logPath.empty()) {
            FILE* log = std::freopen(logPath.c_str(), "a", stdout);
            if (log)
                dup2(fileno(stdout), STDERR_FILENO);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// SIGTERM, then SIGKILL when it has not ended within 5 s. Returns the
// child's peak resident memory in kB as the kernel counted it.
long Stop(pid_t pid)
{
    if (pid <= 0)
        return 0;
    kill(pid, SIGTERM);
    struct rusage usage {};
    int status = 0;
    for (int i = 0; i < 500; ++i) {
        if (wait4(pid, &status, WNOHANG, &usage) == pid)
            return usage.ru_maxrss;
        SleepMs(10);
    }
    kill(pid, SIGKILL);
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

bool Exited(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

// A field of /proc/PID/status in kB ("VmHWM"), -1 when it cannot be read.
long StatusKb(pid_t pid, const char* field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.compare(0, key.size(), key) == 0)
            return std::atol(line.c_str() + key.size());
    return -1;
}

// Polls every 2 ms until the condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    double end = NowMs() + timeoutMs;
    for (;;) {
        double start = NowMs();
        if (condition())
            return true;
        if (start > end)
            return false;
        double left = 2.0 - (NowMs() - start);
        if (left > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int>(left * 1000)));
    }
}

class Bench {
public:
    bool Prepare(const std::string& program, const std::string& simulator, int payloadKb);
    ~Bench();

    // One start: the time from exec to the first painted page, or -1.
    double FirstPaint(pid_t* keep = nullptr);
    // One whole update; the peak resident memory in kB, or -1.
    long Transfer();
    const std::string& Error() const { return m_error; }

private:
    bool StartServer();
    bool BuildContainer(const std::string& zip);
    pid_t StartCarKit(const std::string& kit, const std::string& report);
    bool WalkTheRoad(const std::string& zip, const std::string& report, pid_t* program, long* peak);
    bool PagePainted();
    std::vector<uint32_t> NextButton();
    bool Click(int x, int y);
    void Rest();
    bool Fail(const std::string& why)
    {
        if (m_error.empty())
            m_error = why;
        return false;
    }

    std::string m_program, m_simulator, m_folder, m_display;
    int m_payloadKb = 0;
    VirtualScreen* m_screen = nullptr;
    int m_x = 0, m_y = 0;  // client area origin on the screen
    std::string m_error;
};

bool Bench::StartServer()
{
    // The tests' server: one for the whole run, ended when the bench ends.
    const zqtest::Xvfb& server = zqtest::Xvfb::Shared();
    if (!server.Ok())
        return Fail(server.Error());
    m_display = server.Display();
    m_screen = new VirtualScreen(m_display);
    if (!m_screen->Ok())
        return Fail("cannot use display " + m_display + " (MIT-SHM and XTEST needed)");
    return true;
}

bool Bench::Prepare(const std::string& program, const std::string& simulator, int payloadKb)
{
    m_program = program;
    m_simulator = simulator;
    m_payloadKb = payloadKb;
    if (access(program.c_str(), X_OK) != 0)
        return Fail("no program at " + program);
    char folder[] = "/tmp/zqsbXXXXXX";
    if (!mkdtemp(folder))
        return Fail("mkdtemp failed");
    m_folder = folder;
    if (!StartServer())
        return false;
    // The program, the simulator and the file chooser share these; the
    // registry and the COM map live under the config folder, so nothing of
    // the user's own is touched.
    std::string config = m_folder + "/config", work = m_folder + "/work";
    if (system(("mkdir -p '" + config + "' '" + work + "' '" + m_folder + "/kit'").c_str()) != 0)
        return Fail("mkdir failed");
    setenv("DISPLAY", m_display.c_str(), 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("TMPDIR", work.c_str(), 1);
    unsetenv("TMP");
    unsetenv("TEMP");
    return true;
}

Bench::~Bench()
{
    delete m_screen;
    // After a failure the folder stays, with the program's and the
    // simulator's output in it.
    if (!m_folder.empty() && m_error.empty()) {
        int ignored = system(("rm -rf '" + m_folder + "'").c_str());
        (void)ignored;
    }
}

// The banner across the client area's width and ink of the page's text
// below it: the whole page is on the screen.
bool Bench::PagePainted()
{
    if (!m_screen->Grab() || !m_screen->FindRow(kBanner, kClientWidth - 50, &m_x, &m_y))
        return false;
    return m_screen->DarkPixels(m_x + 10, m_y + 70, kClientWidth - 20, 370, 300) > 30;
}

double Bench::FirstPaint(pid_t* keep)
{
    // The last run's window must be gone from the screen first.
    if (!WaitUntil([&] { return m_screen->Grab() && !m_screen->FindRow(kBanner, kClientWidth - 50, &m_x, &m_y); },
                   5000)) {
        Fail("the screen still shows a wizard");
        return -1;
    }
    double start = NowMs();
    pid_t pid = Spawn({m_program}, m_folder + "/program.log");
    bool painted = WaitUntil([&] { return PagePainted() || Exited(pid); }, 10000) && !Exited(pid);
    double elapsed = NowMs() - start;
    if (!painted) {
        Stop(pid);
        Fail("no page painted within 10 s (see the program's output in " + m_folder + "/program.log)");
        return -1;
    }
    if (keep)
        *keep = pid;
    else
        Stop(pid);
    return elapsed;
}

std::vector<uint32_t> Bench::NextButton()
{
    m_screen->Grab();
    return m_screen->Region(m_x + kNextX, m_y + kNextY, kNextW, kNextH);
}

bool Bench::Click(int x, int y)
{
    m_screen->Click(m_x + x, m_y + y);
    return true;
}

void Bench::Rest()
{
    m_screen->MoveTo(m_x + kRestX, m_y + kRestY);
    SleepMs(150);
}

const char kProduct[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<product name=\"Car\" variant=\"V2\"><devices>\n"
                        "<device name=\"RX7150\" variant=\"EU\" id=\"7\">\n"
                        "<software version=\"138\"/><hardware pcb=\"P1\" revision=\"A\"/>\n"
                        "</device></devices></product>\n";

const char kDescription[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                            "<update version=\"139\">\n"
                            "<device name=\"RX7150\" variant=\"EU\" id=\"7\" disp_name=\"Kit Seven\">\n"
                            "<hardware><board pcb=\"P1\" revision=\"A\"/></hardware></device>\n"
                            "<files><common><file name=\"firmware.bin\"/></common></files>\n"
                            "</update>\n";

// The container: its description and one firmware file of pseudo-random
// bytes (as little compressible as real firmware).
bool Bench::BuildContainer(const std::string& zip)
{
    std::string source = m_folder + "/source";
    if (system(("mkdir -p '" + source + "'").c_str()) != 0)
        return Fail("mkdir failed");
    std::string payload(static_cast<size_t>(m_payloadKb) * 1024, '\0');
    uint32_t seed = 12345;
    for (char& c : payload) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    if (!WriteFile(source + "/update.xml", kDescription) || !WriteFile(source + "/firmware.bin", payload) ||
        !WriteFile(m_folder + "/product.xml", kProduct))
        return Fail("cannot write the container's files");
    if (system(("cd '" + source + "' && 7za a -tzip '" + zip + "' update.xml firmware.bin >/dev/null").c_str()) != 0)
        return Fail("7za could not build the container");
    return true;
}

// The car-kit simulator as COM7, once it says it is ready; -1 when it does
// not come up.
pid_t Bench::StartCarKit(const std::string& kit, const std::string& report)
{
    std::string ready = m_folder + "/ready";
    pid_t sim = Spawn({m_simulator, "--com", "7", "--product", m_folder + "/product.xml", "--model", "RX7150",
                       "--software", "138", "--receive-dir", kit, "--report", report, "--ready-file", ready},
                      m_folder + "/sim.log");
    if (!WaitUntil([&] { return access(ready.c_str(), F_OK) == 0 || Exited(sim); }, 10000) ||
        access(ready.c_str(), F_OK) != 0) {
        Stop(sim);
        Fail("the car-kit simulator did not come up");
        return -1;
    }
    return sim;
}

// The whole road as a user clicks it, from the first page to the success
// page; *peak gets the program's peak resident memory there.
bool Bench::WalkTheRoad(const std::string& zip, const std::string& report, pid_t* program, long* peak)
{
    if (FirstPaint(program) < 0)
        return false;
    Rest();
    std::vector<uint32_t> enabled = NextButton();
    auto nextIs = [&](const std::vector<uint32_t>& look) { return NextButton() == look; };

    // Welcome → the container page; Next goes off there.
    Click(kNextX + kNextW / 2, kNextY + kNextH / 2);
    Rest();
    if (!WaitUntil([&] { return !nextIs(enabled); }, 5000))
        return Fail("Next did not leave the welcome page");
    SleepMs(100);
    std::vector<uint32_t> disabled = NextButton();

    // Browse: the path typed into GTK's file chooser, 40 ms a key, as its
    // autocompletion needs.
    int windows = m_screen->MappedTopLevels();
    Click(kBrowseX, kBrowseY);
    Rest();
    if (!WaitUntil([&] { return m_screen->MappedTopLevels() > windows; }, 5000))
        return Fail("the file chooser did not open");
    SleepMs(500);
    m_screen->Type(zip, 40);
    SleepMs(300);
    m_screen->Key("Return");
    if (!WaitUntil([&] { return m_screen->MappedTopLevels() <= windows; }, 5000))
        return Fail("the file chooser did not close");

    // Unpacked: Next comes on. Next again shows the port box.
    if (!WaitUntil([&] { return nextIs(enabled); }, 60000))
        return Fail("the container was not unpacked");
    Click(kNextX + kNextW / 2, kNextY + kNextH / 2);
    Rest();
    SleepMs(200);
    Click(kPortX, kPortY);
    m_screen->Key("a", true);
    m_screen->Type("COM7", 40);
    Rest();

    // Connect and read the kit's description: Next goes off, then on.
    Click(kNextX + kNextW / 2, kNextY + kNextH / 2);
    Rest();
    WaitUntil([&] { return nextIs(disabled); }, 2000);
    if (!WaitUntil([&] { return nextIs(enabled); }, 60000))
        return Fail("the device page did not come (see " + report + ")");

    // The transfer, up to the success page.
    Click(kNextX + kNextW / 2, kNextY + kNextH / 2);
    Rest();
    WaitUntil([&] { return nextIs(disabled); }, 2000);
    if (!WaitUntil([&] { return !nextIs(disabled); }, 600000))
        return Fail("the transfer did not end");
    SleepMs(200);
    *peak = StatusKb(*program, "VmHWM");
    std::string events = ReadFile(report);
    size_t ok = 0;
    for (size_t at = events.find("\nfile "); at != std::string::npos; at = events.find("\nfile ", at + 1))
        if (events.compare(events.find(" status=", at) + 8, 2, "ok") == 0)
            ++ok;
    if (ok < 2 || events.find("status=bad") != std::string::npos)
        return Fail("the kit did not receive every file well (see " + report + ")");
    return true;
}

long Bench::Transfer()
{
    std::string zip = m_folder + "/update.zip", kit = m_folder + "/kit", report = m_folder + "/report.txt";
    if (!BuildContainer(zip))
        return -1;
    pid_t sim = StartCarKit(kit, report);
    if (sim < 0)
        return -1;
    pid_t program = -1;
    long peak = -1;
    bool done = WalkTheRoad(zip, report, &program, &peak);
    long maxRss = Stop(program);
    Stop(sim);
    if (!done)
        return -1;
    return std::max(peak, maxRss);
}

void Usage()
{
    std::fprintf(stderr, "usage: startup-bench [--runs N] [--payload-kb N] [--program PATH] [--simulator PATH]\n"
                         "  --runs N        program starts measured for the first paint (default 10)\n"
                         "  --payload-kb N  size of the firmware file sent (default 1024)\n"
                         "  --no-transfer   measure only the first paint\n");
}

}  // namespace

int main(int argc, char** argv)
{
    std::string here = SelfFolder();
    std::string program = here + "/ZQUpdateManager", simulator = here + "/carkit-sim";
    int runs = 10, payloadKb = 1024;
    bool transfer = true;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool value = i + 1 < argc;
        if (arg == "--runs" && value)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--payload-kb" && value)
            payloadKb = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--program" && value)
            program = argv[++i];
        else if (arg == "--simulator" && value)
            simulator = argv[++i];
        else if (arg == "--no-transfer")
            transfer = false;
        else {
            Usage();
            return 2;
        }
    }
    signal(SIGPIPE, SIG_IGN);

    Bench bench;
    if (!bench.Prepare(program, simulator, payloadKb)) {
        std::fprintf(stderr, "startup-bench: %s\n", bench.Error().c_str());
        return 1;
    }
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        double t = bench.FirstPaint();
        if (t < 0) {
            std::fprintf(stderr, "startup-bench: %s\n", bench.Error().c_str());
            return 1;
        }
        times.push_back(t);
    }
    std::fprintf(stderr, "starts (ms):");
    for (double t : times)
        std::fprintf(stderr, " %.0f", t);
    std::fprintf(stderr, "\n");
    std::sort(times.begin(), times.end());
    std::printf("first paint: %.0f ms\n", times[times.size() / 2]);
    std::fflush(stdout);
    if (!transfer)
        return 0;

    long peakKb = bench.Transfer();
    if (peakKb < 0) {
        std::fprintf(stderr, "startup-bench: %s\n", bench.Error().c_str());
        return 1;
    }
    std::printf("peak memory: %.1f MB\n", peakKb / 1024.0);
    return 0;
}

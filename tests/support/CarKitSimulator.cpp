// The car-kit simulator started as a child process, and its report read.
#include "tests/support/CarKitSimulator.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string Decode(const std::string& value)
{
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            out += static_cast<char>(std::strtol(value.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

// The simulator is built into the program folder, beside the tests.
std::string SimulatorPath()
{
    if (const char* override = std::getenv("CARKIT_SIM"))
        return override;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "carkit-sim";
    std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/')) + "/carkit-sim";
}

}  // namespace

namespace zqtest {

std::string CarKitSimulator::Event::Get(const std::string& key) const
{
    auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

long long CarKitSimulator::Event::Number(const std::string& key) const
{
    return std::strtoll(Get(key).c_str(), nullptr, 0);
}

CarKitSimulator::CarKitSimulator(int comNumber) : m_com(comNumber) {}

CarKitSimulator::~CarKitSimulator()
{
    // The simulator writes into the folder until it has ended.
    Stop();
}

std::string CarKitSimulator::PortName() const
{
    return "\\\\.\\COM" + std::to_string(m_com);
}

std::string CarKitSimulator::WriteFile(const std::string& name, const std::string& content) const
{
    const std::string path = m_folder + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return path;
}

bool CarKitSimulator::Start(const std::vector<std::string>& options, const std::string& scenario, int timeoutMs)
{
    if (m_folder.empty()) {
        m_error = "no temporary folder";
        return false;
    }
    Stop();
    const std::string ready = m_folder + "/ready";
    unlink(ready.c_str());
    std::vector<std::string> args = {SimulatorPath(), "--com", std::to_string(m_com), "--ready-file", ready, "--report",
                                     m_folder + "/report.txt", "--receive-dir", ReceivedFolder(),
                                     // A test process that dies (a crash, a sanitizer's
                                     // report) leaves no kit behind.
                                     "--parent", std::to_string(getpid())};
    if (!scenario.empty())
        args.insert(args.end(), {"--script", WriteFile("scenario.txt", scenario)});
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = m_folder + "/sim.log";
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    // The child gets this process's environment, XDG_CONFIG_HOME included.
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        m_error = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
        return false;
    }
    m_pid = pid;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string path = ReadAll(ready);
        if (!path.empty() && path.back() == '\n') {
            path.pop_back();
            m_pty = path;
            return true;
        }
        if (!Running()) {
            m_error = "carkit-sim ended at once: " + Log();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_error = "carkit-sim did not get ready: " + Log();
    Stop();
    return false;
}

bool CarKitSimulator::Running()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

void CarKitSimulator::Stop()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500; ++i) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

std::vector<CarKitSimulator::Event> CarKitSimulator::Report() const
{
    std::vector<Event> events;
    std::istringstream in(ReadAll(m_folder + "/report.txt"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        Event event;
        if (!(words >> event.name))
            continue;
        std::string word;
        while (words >> word) {
            const size_t eq = word.find('=');
            if (eq != std::string::npos)
                event.fields[word.substr(0, eq)] = Decode(word.substr(eq + 1));
        }
        events.push_back(std::move(event));
    }
    return events;
}

std::vector<CarKitSimulator::Event> CarKitSimulator::Events(const std::string& name) const
{
    std::vector<Event> events;
    for (auto& event : Report()) {
        if (event.name == name)
            events.push_back(std::move(event));
    }
    return events;
}

bool CarKitSimulator::WaitFor(const std::string& name, size_t count, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (Events(name).size() >= count)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string CarKitSimulator::ReceivedFile(const std::string& name) const
{
    return ReadAll(ReceivedFolder() + "/" + name);
}

std::string CarKitSimulator::Log() const
{
    return ReadAll(m_folder + "/sim.log");
}

}  // namespace zqtest

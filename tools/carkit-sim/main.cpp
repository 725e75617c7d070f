// carkit-sim: a car kit on a pseudo-terminal, for the tests and for trying
// the wizard without a car kit. Run "carkit-sim --help" for the options.
#include "CarKit.h"
#include "Line.h"
#include "Scenario.h"
#include "platform/paths/UserFolders.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

// How long a kit that has answered a disconnect waits for the PC to close
// the line before it ends.
const int kHangUpWaitMs = 2000;

void OnSignal(int)
{
    g_stop = 1;
}

const char kUsage[] =
    "usage: carkit-sim [options]\n"
    "  --com N               link the pty as COM N: $XDG_CONFIG_HOME/zqupdatemanager/dosdevices/comN\n"
    "  --ready-file PATH     write the pty's path there once the kit is ready\n"
    "  --report PATH         append the report there (one \"<event> key=value ...\" line per event)\n"
    "  --receive-dir DIR     store each received file there\n"
    "  --product FILE        the product.xml to send (default: one for --model and --software)\n"
    "  --model NAME          the kit's model (default RX7150)\n"
    "  --software VERSION    its software version (default 138; 137 confirms no file)\n"
    "  --fileok MODE         confirm received files: auto (as the model and version do), always, never\n"
    "  --fileok-type T       type of the confirmation frame, 10 (default) or 11\n"
    "  --connect-payload HEX answer the connect frame with this payload\n"
    "  --product-order LIST  sequence numbers of product.xml's data frames, e.g. 0,1,3,2,4\n"
    "  --baud N              pace both directions to N baud, 8N1 (10 bits a byte)\n"
    "  --chunk N             write at most N bytes at a time, with a pause between pieces\n"
    "  --split-escape        cut every write right after each 0x1B\n"
    "  --chunk-pause MS      the pause between pieces (default 30)\n"
    "  --garbage HEX         bytes sent before every frame\n"
    "  --coalesce            all frames of one answer in one write\n"
    "  --silent              answer nothing (scenario rules still act)\n"
    "  --script FILE         scenario rules, one per line (see below)\n"
    "  --on RULE             one scenario rule, e.g. --on 'data seq=3 do nak 2 1'\n"
    "  --exit-after-disconnect  end after answering a disconnect, once the PC has closed the line (at most 2 s)\n"
    "  --parent PID          end when the process PID, which started the kit, has ended\n"
    "Scenario rules: on <event> [seq=N] [last=1] [name=X] [type=N] [nth=N] [always|times=N] do <action>[; ...]\n"
    "  events: connect disconnect request hostnak header data end frame any\n"
    "  actions: answer silence 'send T [HEX]' 'nak R [SEQ]' 'connect [HEX]' disconnect\n"
    "           'fileok [10|11]' 'raw HEX' 'corrupt [check]' 'truncate N' 'delay MS' unplug\n";

std::string ProductFor(const std::string& model, const std::string& software)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<product name=\"" +
           model +
           "\" variant=\"EU\">\n"
           "  <devices>\n"
           "    <device name=\"" +
           model + "\" variant=\"EU\" id=\"1\" disp_name=\"" + model +
           " Car Kit\">\n"
           "      <software version=\"" +
           software +
           "\"/>\n"
           "      <hardware pcb=\"" +
           model +
           "-MAIN\" revision=\"C\"/>\n"
           "      <extended>\n"
           "        <langs>\n"
           "          <lang name=\"english\" removable=\"0\">\n"
           "            <lib name=\"vds\" version=\"3\"/>\n"
           "          </lang>\n"
           "          <lang name=\"german\" removable=\"1\">\n"
           "            <lib name=\"vds\" version=\"3\"/>\n"
           "          </lang>\n"
           "        </langs>\n"
           "      </extended>\n"
           "    </device>\n"
           "  </devices>\n"
           "</product>\n";
}

std::string DosDevicesFolder()
{
    return zq::UserConfigFolder() + "/dosdevices";
}

bool MakeFolders(const std::string& path)
{
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            const std::string part = path.substr(0, at);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string* text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    *text = all.str();
    return true;
}

// Replaces a file at once, so a reader sees all of it or nothing.
bool WriteAtomically(const std::string& path, const std::string& text)
{
    const std::string temp = path + ".tmp" + std::to_string(getpid());
    FILE* out = std::fopen(temp.c_str(), "wb");
    if (!out)
        return false;
    std::fwrite(text.data(), 1, text.size(), out);
    if (std::fclose(out) != 0)
        return false;
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

bool ParseOrder(const std::string& text, std::vector<uint32_t>* order)
{
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        char* end = nullptr;
        unsigned long v = std::strtoul(item.c_str(), &end, 0);
        if (item.empty() || *end != '\0')
            return false;
        order->push_back(static_cast<uint32_t>(v));
    }
    return !order->empty();
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "carkit-sim: %s\n", message.c_str());
    return 2;
}

// What the command line asks for. Parsing stops early for --help (exit 0)
// and for a bad option (exit 2, after the message).
struct Options {
    carkit::Config config;
    carkit::Line::Options line;
    std::string productPath, reportPath, readyFile, scriptText;
    int com = 0;
    pid_t parent = 0;
    bool productGiven = false;
};

// A switch, which takes no value. False when the argument is none.
bool TakeSwitch(const std::string& arg, Options* options)
{
    if (arg == "--coalesce")
        options->config.coalesce = true;
    else if (arg == "--silent")
        options->config.silent = true;
    else if (arg == "--split-escape")
        options->line.splitEscape = true;
    else if (arg == "--exit-after-disconnect")
        options->config.exitAfterDisconnect = true;
    else
        return false;
    return true;
}

// An option with its value. Returns -1 when it is taken, else the exit code.
int TakeValue(const std::string& arg, const std::string& v, Options* options)
{
    carkit::Config& config = options->config;
    carkit::Line::Options& lineOptions = options->line;
    if (arg == "--com") {
        options->com = std::atoi(v.c_str());
        if (options->com < 1 || options->com > 255)
            return Fail("--com takes 1 to 255");
    } else if (arg == "--parent") {
        options->parent = static_cast<pid_t>(std::atoi(v.c_str()));
        if (options->parent < 1)
            return Fail("--parent takes a process id");
    } else if (arg == "--ready-file") {
        options->readyFile = v;
    } else if (arg == "--report") {
        options->reportPath = v;
    } else if (arg == "--receive-dir") {
        config.receiveDir = v;
    } else if (arg == "--product") {
        options->productPath = v;
        options->productGiven = true;
    } else if (arg == "--model") {
        config.model = v;
    } else if (arg == "--software") {
        config.software = v;
    } else if (arg == "--fileok") {
        if (v != "auto" && v != "always" && v != "never")
            return Fail("--fileok takes auto, always or never");
        config.fileOk = v;
    } else if (arg == "--fileok-type") {
        config.fileOkType = static_cast<uint8_t>(std::atoi(v.c_str()));
    } else if (arg == "--connect-payload") {
        if (!carkit::FromHex(v, &config.connectPayload))
            return Fail("--connect-payload takes hex bytes");
    } else if (arg == "--product-order") {
        if (!ParseOrder(v, &config.productOrder))
            return Fail("--product-order takes numbers separated by commas");
    } else if (arg == "--baud") {
        lineOptions.baud = static_cast<unsigned>(std::strtoul(v.c_str(), nullptr, 10));
    } else if (arg == "--chunk") {
        lineOptions.chunk = std::strtoul(v.c_str(), nullptr, 10);
    } else if (arg == "--chunk-pause") {
        lineOptions.chunkPauseMs = std::atoi(v.c_str());
    } else if (arg == "--garbage") {
        if (!carkit::FromHex(v, &config.garbage))
            return Fail("--garbage takes hex bytes");
    } else if (arg == "--script") {
        std::string text;
        if (!ReadWholeFile(v, &text))
            return Fail("cannot read " + v);
        options->scriptText += text + "\n";
    } else if (arg == "--on") {
        options->scriptText += (v.compare(0, 3, "on ") == 0 ? v : "on " + v) + "\n";
    } else {
        return Fail("unknown option " + arg + "\n" + kUsage);
    }
    return -1;
}

// Reads the options into *options. Returns -1 to go on, else the exit code.
int ParseArguments(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (TakeSwitch(arg, options))
            continue;
        if (i + 1 >= argc)
            return Fail("unknown option or missing value: " + arg + "\n" + kUsage);
        const int code = TakeValue(arg, argv[++i], options);
        if (code != -1)
            return code;
    }
    return -1;
}

// The scenario, the product description and the receive folder, from the
// options. Returns -1 to go on, else the exit code.
int PrepareKit(Options* options)
{
    carkit::Config& config = options->config;
    std::string error;
    if (!carkit::ParseScenario(options->scriptText, &config.rules, &error))
        return Fail(error);
    if (options->productGiven) {
        if (!ReadWholeFile(options->productPath, &config.product))
            return Fail("cannot read " + options->productPath);
    } else {
        config.product = ProductFor(config.model, config.software);
    }
    if (!config.receiveDir.empty() && !MakeFolders(config.receiveDir))
        return Fail("cannot create " + config.receiveDir);
    return -1;
}

void CatchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// Links the pty as COM <com> in the dosdevices folder, replacing an older
// link at once. Fills *link with the link's path.
bool LinkComPort(int com, const std::string& slave, std::string* link, std::string* error)
{
    const std::string folder = DosDevicesFolder();
    if (!MakeFolders(folder)) {
        *error = "cannot create " + folder;
        return false;
    }
    *link = folder + "/com" + std::to_string(com);
    const std::string temp = *link + ".tmp" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(slave.c_str(), temp.c_str()) != 0 || std::rename(temp.c_str(), link->c_str()) != 0) {
        *error = "cannot link " + *link;
        return false;
    }
    return true;
}

// An unplugged kit leaves its port behind as a device that is gone; a kit
// that is stopped takes its link away (unless a newer kit has taken it).
void UnlinkComPort(const std::string& link, const std::string& slave)
{
    char target[256] = {};
    ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && slave == std::string(target, static_cast<size_t>(n)))
        unlink(link.c_str());
}

// Whether the kit was started by a process that has ended since: it was
// handed on to another parent.
bool Orphaned(pid_t parent)
{
    return parent > 0 && getppid() != parent;
}

// Answers the PC until a signal, an unplug, the end of the session or of the
// process that started the kit.
void Serve(carkit::CarKit& kit, carkit::Line& line, pid_t parent)
{
    uint8_t buffer[4096];
    while (!g_stop && !kit.Unplugged() && !kit.Finished() && !Orphaned(parent)) {
        const long n = line.Read(buffer, sizeof buffer, 100);
        if (n > 0)
            kit.OnBytes(buffer, static_cast<size_t>(n));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    int exitCode = ParseArguments(argc, argv, &options);
    if (exitCode < 0)
        exitCode = PrepareKit(&options);
    if (exitCode >= 0)
        return exitCode;
    const carkit::Config& config = options.config;
    CatchStopSignals();

    carkit::Report report;
    if (!options.reportPath.empty() && !report.Open(options.reportPath))
        return Fail("cannot write " + options.reportPath);
    std::string error;
    carkit::Line line(options.line, &g_stop);
    if (!line.Open(&error))
        return Fail(error);
    std::string link;
    if (options.com > 0 && !LinkComPort(options.com, line.SlavePath(), &link, &error))
        return Fail(error);

    carkit::CarKit kit(config, line, report);
    report.Add("ready", {{"pty", line.SlavePath()},
                         {"com", options.com > 0 ? std::to_string(options.com) : ""},
                         {"model", config.model},
                         {"software", config.software},
                         {"fileok", kit.ConfirmsFiles() ? "1" : "0"},
                         {"product_size", std::to_string(config.product.size())}});
    std::printf("%s\n", line.SlavePath().c_str());
    std::fflush(stdout);
    if (!options.readyFile.empty() && !WriteAtomically(options.readyFile, line.SlavePath() + "\n"))
        return Fail("cannot write " + options.readyFile);

    Serve(kit, line, options.parent);

    std::string reason = kit.Unplugged()            ? "unplug"
                         : kit.Finished()           ? "disconnect"
                         : Orphaned(options.parent) ? "parent"
                                                    : "signal";
    std::string hangup;
    if (kit.Finished() && !kit.Unplugged()) {
        // Hanging up at once could cut off the PtDisconnect before the PC
        // has read it: the PC closes the line first.
        hangup = line.WaitForHangUp(kHangUpWaitMs) ? "pc" : "timeout";
    }
    line.Close();
    if (!link.empty() && !kit.Unplugged())
        UnlinkComPort(link, line.SlavePath());
    if (hangup.empty())
        report.Add("exit", {{"reason", reason}});
    else
        report.Add("exit", {{"reason", reason}, {"hangup", hangup}});
    return 0;
}

// The debug channel: ZQDEBUG read once at start, and the lines of its areas.
#include "platform/base/DebugChannel.h"
#include "platform/base/WinTypes.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using zq::DebugArea;

constexpr int kAreaCount = static_cast<int>(DebugArea::Trace) + 1;

unsigned Bit(DebugArea area)
{
    return 1u << static_cast<int>(area);
}

// The areas ZQDEBUG turns on, one bit each. A name that is no area is told
// once, with the names that are, so that a misspelling does not leave the
// user waiting for lines that never come.
unsigned ReadZqdebug()
{
    const char* value = std::getenv("ZQDEBUG");
    std::string list = value != nullptr ? value : "";
    for (char& c : list) {
        if (c == ' ' || c == ';' || c == ':')
            c = ',';
    }
    unsigned on = 0;
    std::string unknown;
    int unknownCount = 0;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string name = list.substr(start, end - start);
        start = end + 1;
        if (name.empty())
            continue;
        if (name == "all") {
            on = ~0u;
            continue;
        }
        bool known = false;
        for (int i = 0; i < kAreaCount; ++i) {
            if (name == zq::DebugAreaName(static_cast<DebugArea>(i))) {
                on |= Bit(static_cast<DebugArea>(i));
                known = true;
            }
        }
        if (!known) {
            unknown += (unknown.empty() ? "\"" : ", \"") + name + "\"";
            ++unknownCount;
        }
    }
    if (unknownCount > 0) {
        std::string names;
        for (int i = 0; i < kAreaCount; ++i)
            names += std::string(zq::DebugAreaName(static_cast<DebugArea>(i))) + ", ";
        std::fprintf(stderr, "zq: ZQDEBUG: unknown area%s %s (the areas: %sall)\n", unknownCount > 1 ? "s" : "",
                     unknown.c_str(), names.c_str());
    }
    return on;
}

// Read once: the channel must cost nothing on the paths that call it.
unsigned AreasOn()
{
    static const unsigned on = ReadZqdebug();
    return on;
}

// Read at start, so that a misspelt area is told before anything fails.
struct ReadAtStart {
    ReadAtStart() { AreasOn(); }
} readAtStart;

void PrintLine(DebugArea area, const char* format, va_list args)
{
    char text[1024];
    std::vsnprintf(text, sizeof(text), format, args);
    // One write a line, so that lines of two threads do not interleave.
    std::fprintf(stderr, "zq:%s: %s\n", zq::DebugAreaName(area), text);
}

}  // namespace

namespace zq {

const char* DebugAreaName(DebugArea area)
{
    switch (area) {
    case DebugArea::Serial:
        return "serial";
    case DebugArea::Process:
        return "process";
    case DebugArea::Files:
        return "files";
    case DebugArea::Registry:
        return "registry";
    case DebugArea::Paths:
        return "paths";
    case DebugArea::Modules:
        return "modules";
    case DebugArea::Threads:
        return "threads";
    case DebugArea::Shell:
        return "shell";
    case DebugArea::Gdi:
        return "gdi";
    case DebugArea::Window:
        return "window";
    case DebugArea::Trace:
        return "trace";
    }
    return "?";
}

bool DebugOn(DebugArea area)
{
    return (AreasOn() & Bit(area)) != 0;
}

void DebugFailure(DebugArea area, const char* call, const char* path, int errnoValue)
{
    if (!DebugOn(area))
        return;
    const std::string target = path != nullptr ? "\"" + std::string(path) + "\"" : std::string();
    // The area is on already: print without asking again.
    if (errnoValue != 0)
        ReportFailure(area, "%s(%s): %s (errno %d)", call, target.c_str(), std::strerror(errnoValue), errnoValue);
    else
        ReportFailure(area, "%s(%s) failed", call, target.c_str());
}

void DebugPrintf(DebugArea area, const char* format, ...)
{
    if (!DebugOn(area))
        return;
    va_list args;
    va_start(args, format);
    PrintLine(area, format, args);
    va_end(args);
}

void TraceV(const char* format, va_list args)
{
    if (DebugOn(DebugArea::Trace))
        PrintLine(DebugArea::Trace, format, args);
}

void ReportFailure(DebugArea area, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    PrintLine(area, format, args);
    va_end(args);
}

}  // namespace zq

void ZqTrace(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    zq::TraceV(format, args);
    va_end(args);
}

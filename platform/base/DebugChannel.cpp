#include "platform/base/DebugChannel.h"
#include "platform/base/WinTypes.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The list as given, with commas at both ends so that ",area," finds a whole
// name. Read once: the channel must cost nothing on the paths that call it.
const std::string& Areas()
{
    static const std::string areas = [] {
        const char* value = std::getenv("ZQDEBUG");
        std::string list = value != nullptr ? value : "";
        for (char& c : list) {
            if (c == ' ' || c == ';' || c == ':')
                c = ',';
        }
        return "," + list + ",";
    }();
    return areas;
}

void PrintLine(const char* area, const char* format, va_list args)
{
    char text[1024];
    std::vsnprintf(text, sizeof(text), format, args);
    // One write a line, so that lines of two threads do not interleave.
    std::fprintf(stderr, "zq:%s: %s\n", area, text);
}

} // namespace

namespace zq {

bool DebugOn(const char* area)
{
    const std::string& areas = Areas();
    if (areas.size() <= 2)
        return false;
    return areas.find(",all,") != std::string::npos ||
           areas.find("," + std::string(area) + ",") != std::string::npos;
}

void DebugFailure(const char* area, const char* call, const char* path, int errnoValue)
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

void DebugPrintf(const char* area, const char* format, ...)
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
    if (DebugOn("trace"))
        PrintLine("trace", format, args);
}

void ReportFailure(const char* area, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    PrintLine(area, format, args);
    va_end(args);
}

} // namespace zq

void ZqTrace(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    zq::TraceV(format, args);
    va_end(args);
}

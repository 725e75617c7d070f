// A debug channel in the spirit of WINEDEBUG: ZQDEBUG names the areas whose
// failing Linux calls are printed to stderr, separated by commas, for
// instance ZQDEBUG=serial,process or ZQDEBUG=all. Each line names the area,
// the call, the path it was given and errno's text:
//
//   zq:serial: open("/dev/ttyUSB0"): Permission denied (errno 13)
//
// Nothing is printed for an area that is not named, so a user without
// ZQDEBUG sees only what the layer always reports (see ReportFailure). A
// name in ZQDEBUG that is no area prints one line naming the known ones.
#pragma once

#include <cstdarg>

namespace zq {

// The areas, each printed and named in ZQDEBUG by the word of DebugAreaName.
// Code names an area only through this list, so a misspelt one does not
// compile. Trace, the system's TRACE calls, stays last.
enum class DebugArea { Serial, Process, Files, Registry, Paths, Modules, Threads, Shell, Gdi, Window, Trace };

// "serial", "process", "files", "registry", "paths", "modules", "threads",
// "shell", "gdi", "window", "trace".
const char* DebugAreaName(DebugArea area);

// True when ZQDEBUG names the area or "all". ZQDEBUG is read once, at start.
bool DebugOn(DebugArea area);

// Prints one line when the area is on: "zq:<area>: <call>("<path>"): <errno text> (errno N)".
// A null path prints "call()"; errnoValue 0 prints "failed" in place of
// errno's text.
void DebugFailure(DebugArea area, const char* call, const char* path, int errnoValue);

// Prints a formatted line for the area when it is on: "zq:<area>: <text>".
void DebugPrintf(DebugArea area, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Prints a line whatever ZQDEBUG says, for failures a user must see the
// reason of even without asking (a COM port that does not open):
// "zq:<area>: <text>".
void ReportFailure(DebugArea area, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The system's TRACE calls, printed on the trace area.
void TraceV(const char* format, va_list args);

}  // namespace zq

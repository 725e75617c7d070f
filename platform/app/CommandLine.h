// The command line as the C runtime of Windows offers it: __argc and
// __argv, in Windows-1252. The first argument is the program's full path in
// Windows form, taken from the running executable, so the program folder is
// right however the program was started.
#pragma once

extern int __argc;
extern char** __argv;

namespace zq {

// Fills __argc and __argv from main's arguments. Called once by main before
// the application starts. Before that, __argv holds the program path alone.
void InitCommandLine(int argc, char** argv);

}  // namespace zq

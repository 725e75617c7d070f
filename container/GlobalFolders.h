// Process-wide folder names, set once at start-up by the application.
//   g_ProgramPath: the program's path as its first command-line argument
//                  gives it; expat is loaded from its folder.
//   g_WorkFolder:  the temp folder; product.xml is received and read there.
// Both hold the empty string until start-up sets them.
#pragma once

#include "platform/strings/CString.h"

extern CString g_ProgramPath;
extern CString g_WorkFolder;

// The folder of g_ProgramPath: the text before its last backslash, or the
// empty string when it has none.
CString GetProgramFolder();

#include "container/GlobalFolders.h"

CString g_ProgramPath;
CString g_WorkFolder;

// The process-wide folder names and the program's folder taken from its path.
#include "container/GlobalFolders.h"

CString g_ProgramPath;
CString g_WorkFolder;

CString GetProgramFolder()
{
    int cut = g_ProgramPath.ReverseFind('\\');
    return cut >= 0 ? g_ProgramPath.Left(cut) : CString("");
}

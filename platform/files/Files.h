// The files area at once: CFile, CFileFind and the Win32 file functions.
#pragma once

#include "platform/files/CFile.h"
#include "platform/files/CFileFind.h"
#include "platform/files/FileApi.h"

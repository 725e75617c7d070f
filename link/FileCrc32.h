// The CRC-32 of a file's whole content, as the update session puts it into
// the end frame of every file: the standard CRC-32 (reflected polynomial
// 0xEDB88320, initial value and final XOR 0xFFFFFFFF), table-driven, read in
// blocks of 64 KiB.
#pragma once

#include "platform/base/WinTypes.h"
#include "platform/strings/CString.h"

class FileCrc32 {
public:
    FileCrc32();
    ~FileCrc32();

    // The CRC-32 of the file's content, or 0 when the file cannot be opened
    // (it is opened unshared) or read. An empty file gives 0 as well.
    DWORD Compute(CString path);

    // Carries the register over one more block of bytes, so that blocks of
    // any size give the CRC-32 of their concatenation.
    DWORD Update(DWORD crc, const BYTE* data, size_t count) const;

    static const DWORD BUFFER_SIZE = 65536;

    DWORD m_Table[256];
    DWORD m_Polynomial;
    ULONGLONG m_Remaining;  // bytes still to be read during a computation
    CString m_ErrorText;    // text of the last failure
    BYTE* m_Buffer;         // the read buffer, BUFFER_SIZE bytes

private:
    FileCrc32(const FileCrc32&) = delete;
    FileCrc32& operator=(const FileCrc32&) = delete;
};

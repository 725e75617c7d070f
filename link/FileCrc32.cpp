// The CRC-32 of a file, read in blocks.
#include "link/FileCrc32.h"

#include <new>

#include "platform/files/CFile.h"

FileCrc32::FileCrc32() : m_Polynomial(0xEDB88320u), m_Remaining(0), m_Buffer(new (std::nothrow) BYTE[BUFFER_SIZE])
{
    for (DWORD n = 0; n < 256; n++) {
        DWORD c = n;
        for (int bit = 0; bit < 8; bit++)
            c = (c & 1) ? (c >> 1) ^ m_Polynomial : c >> 1;
        m_Table[n] = c;
    }
}

FileCrc32::~FileCrc32()
{
    delete[] m_Buffer;
}

DWORD FileCrc32::Update(DWORD crc, const BYTE* data, size_t count) const
{
    crc = ~crc;
    for (size_t i = 0; i < count; i++)
        crc = (crc >> 8) ^ m_Table[(crc ^ data[i]) & 0xFF];
    return ~crc;
}

DWORD FileCrc32::Compute(CString path)
{
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareExclusive)) {
        m_ErrorText = "open file for calculating CRC error";
        return 0;
    }
    // Every failure of the file system below arrives as an exception; none
    // may leave this operation.
    try {
        m_Remaining = file.GetLength();
        if (m_Buffer == nullptr) {
            m_ErrorText = "no buffer for calculating CRC";
            file.Close();
            return 0;
        }
        DWORD crc = 0;
        while (m_Remaining > 0) {
            UINT n = m_Remaining < BUFFER_SIZE ? static_cast<UINT>(m_Remaining) : BUFFER_SIZE;
            if (file.Read(m_Buffer, n) != n) {
                m_ErrorText = "Read file error";
                file.Abort();
                return 0;
            }
            crc = Update(crc, m_Buffer, n);
            m_Remaining -= n;
        }
        file.Close();
        return crc;
    } catch (CException* e) {
        e->Delete();
        file.Abort();
        return 0;
    }
}

// CFileFind over FindFirstFileA and FindNextFileA.
#include "platform/files/CFileFind.h"

#include <cstring>
#include <string>

#include "platform/paths/DrivePaths.h"

CFileFind::CFileFind() : m_hContext(nullptr), m_hasFound(false), m_hasNext(false)
{
    memset(&m_found, 0, sizeof(m_found));
    memset(&m_next, 0, sizeof(m_next));
}

CFileFind::~CFileFind()
{
    Close();
}

void CFileFind::Close()
{
    if (m_hContext != nullptr && m_hContext != INVALID_HANDLE_VALUE)
        ::FindClose(m_hContext);
    m_hContext = nullptr;
    m_hasFound = false;
    m_hasNext = false;
    m_strRoot.Empty();
}

BOOL CFileFind::FindFile(LPCTSTR pstrName, DWORD)
{
    Close();
    const char* pattern = pstrName != nullptr ? pstrName : "*.*";
    HANDLE handle = ::FindFirstFileA(pattern, &m_next);
    if (handle == INVALID_HANDLE_VALUE)
        return FALSE;
    m_hContext = handle;
    m_hasNext = true;

    // The root is the pattern's folder in full form: "Z:\dir\".
    const std::string text(pattern);
    std::string folder = ".";
    const size_t separator = text.find_last_of("\\/");
    if (separator != std::string::npos)
        folder = text.substr(0, separator + 1);
    else if (text.size() >= 2 && text[1] == ':')
        folder = text.substr(0, 2);
    std::string full;
    if (zq::FullWindowsPath(folder.c_str(), full)) {
        if (full.empty() || full[full.size() - 1] != '\\')
            full.push_back('\\');
        m_strRoot = full.c_str();
    }
    return TRUE;
}

BOOL CFileFind::FindNextFile()
{
    if (m_hContext == nullptr || !m_hasNext)
        return FALSE;
    m_found = m_next;
    m_hasFound = true;
    m_hasNext = ::FindNextFileA(m_hContext, &m_next) != FALSE;
    return m_hasNext ? TRUE : FALSE;
}

CString CFileFind::GetFileName() const
{
    return m_hasFound ? CString(m_found.cFileName) : CString();
}

CString CFileFind::GetFilePath() const
{
    if (!m_hasFound)
        return CString();
    CString path = m_strRoot;
    if (path.IsEmpty() || (path[path.GetLength() - 1] != '\\' && path[path.GetLength() - 1] != '/'))
        path += '\\';
    // A name that reads with '?' cannot be opened under that name; its
    // alternate name can, so the path always names the entry found.
    path += m_found.cAlternateFileName[0] != '\0' ? m_found.cAlternateFileName : m_found.cFileName;
    return path;
}

BOOL CFileFind::IsDots() const
{
    if (!m_hasFound || !IsDirectory())
        return FALSE;
    return (strcmp(m_found.cFileName, ".") == 0 || strcmp(m_found.cFileName, "..") == 0) ? TRUE : FALSE;
}

BOOL CFileFind::MatchesMask(DWORD dwMask) const
{
    return (m_hasFound && (m_found.dwFileAttributes & dwMask) != 0) ? TRUE : FALSE;
}

// CFileFind: the framework's file search over FindFirstFileA.
//
// As in the framework, FindFile only starts the search; each FindNextFile
// steps to the next entry and returns FALSE when the entry it stepped to is
// the last one, so the usual loop is
//   BOOL working = finder.FindFile(pattern);
//   while (working) { working = finder.FindNextFile(); ... use the entry ... }
#pragma once

#include "platform/base/WinTypes.h"
#include "platform/files/FileApi.h"
#include "platform/strings/CString.h"

class CFileFind {
public:
    CFileFind();
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;
    virtual ~CFileFind();

    // Starts a search for the pattern (null: "*.*" in the current folder).
    // TRUE when something was found.
    virtual BOOL FindFile(LPCTSTR pstrName = nullptr, DWORD dwUnused = 0);
    virtual BOOL FindNextFile();
    void Close();

    // The entry found last; empty or FALSE before the first FindNextFile.
    virtual CString GetFileName() const;
    // The searched folder in full Windows form, then the name; the
    // alternate name for a name that the code page cannot show.
    virtual CString GetFilePath() const;
    // The searched folder in full Windows form, with a final backslash.
    virtual CString GetRoot() const { return m_strRoot; }
    BOOL IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
    // "." or ".." of a folder search.
    virtual BOOL IsDots() const;
    BOOL MatchesMask(DWORD dwMask) const;

private:
    HANDLE m_hContext;
    bool m_hasFound;
    bool m_hasNext;
    WIN32_FIND_DATAA m_found;
    WIN32_FIND_DATAA m_next;
    CString m_strRoot;
};

// CString: the framework's narrow string. It holds bytes in the Windows-1252
// code page, compares byte for byte, and formats with printf formats.
#pragma once

#include <cstdarg>
#include <string>

#include "platform/base/WinTypes.h"

class CString {
public:
    CString() = default;
    CString(const char* text);              // null gives the empty string
    CString(const char* text, int length);  // exactly length bytes
    CString(char ch, int repeat = 1);
    CString(const std::string& bytes) : m_data(bytes) {}
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const char* text);
    CString& operator=(char ch);

    int GetLength() const { return static_cast<int>(m_data.size()); }
    bool IsEmpty() const { return m_data.empty(); }
    void Empty() { m_data.clear(); }

    // Element access; an index outside the string raises std::out_of_range.
    char GetAt(int index) const;
    char operator[](int index) const { return GetAt(index); }

    operator LPCTSTR() const { return m_data.c_str(); }
    LPCTSTR GetString() const { return m_data.c_str(); }
    const std::string& Bytes() const { return m_data; }

    // A writable buffer of at least minLength bytes plus a NUL; the string
    // takes its new length from ReleaseBuffer (-1: up to the first NUL).
    LPTSTR GetBuffer(int minLength = 0);
    void ReleaseBuffer(int newLength = -1);

    void Format(LPCTSTR format, ...) __attribute__((format(printf, 2, 3)));
    void AppendFormat(LPCTSTR format, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(LPCTSTR format, va_list args);
    void AppendFormatV(LPCTSTR format, va_list args);

    // Positions are byte indices; -1 means not found.
    int Find(char ch, int start = 0) const;
    int Find(LPCTSTR sub, int start = 0) const;
    int ReverseFind(char ch) const;

    // Out-of-range counts are clamped as the framework does.
    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;

    int Compare(LPCTSTR other) const;        // byte for byte, <0, 0, >0
    int CompareNoCase(LPCTSTR other) const;  // ASCII letters folded

    int Remove(char ch);
    int Delete(int index, int count = 1);

    CString& operator+=(const CString& other);
    CString& operator+=(LPCTSTR text);
    CString& operator+=(char ch);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, LPCTSTR b);
    friend CString operator+(LPCTSTR a, const CString& b);
    friend CString operator+(const CString& a, char b);
    friend CString operator+(char a, const CString& b);

    friend bool operator==(const CString& a, const CString& b) { return a.m_data == b.m_data; }
    friend bool operator==(const CString& a, LPCTSTR b) { return a.Compare(b) == 0; }
    friend bool operator==(LPCTSTR a, const CString& b) { return b.Compare(a) == 0; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, LPCTSTR b) { return !(a == b); }
    friend bool operator!=(LPCTSTR a, const CString& b) { return !(a == b); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_data < b.m_data; }
    friend bool operator>(const CString& a, const CString& b) { return a.m_data > b.m_data; }

private:
    std::string m_data;
};

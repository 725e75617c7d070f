// CString's construction, access, search, slicing and formatting.
#include "platform/strings/CString.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

CString::CString(const char* text) : m_data(text ? text : "") {}

CString::CString(const char* text, int length)
{
    if (text && length > 0)
        m_data.assign(text, static_cast<size_t>(length));
}

CString::CString(char ch, int repeat)
{
    if (repeat > 0)
        m_data.assign(static_cast<size_t>(repeat), ch);
}

CString& CString::operator=(const char* text)
{
    // The text may point into this string; assign() copes with that.
    if (text)
        m_data.assign(text);
    else
        m_data.clear();
    return *this;
}

CString& CString::operator=(char ch)
{
    m_data.assign(1, ch);
    return *this;
}

char CString::GetAt(int index) const
{
    if (index < 0 || index >= GetLength())
        throw std::out_of_range("CString index out of range");
    return m_data[static_cast<size_t>(index)];
}

LPTSTR CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_data.resize(static_cast<size_t>(minLength), '\0');
    return &m_data[0];
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        newLength = static_cast<int>(strnlen(m_data.c_str(), m_data.size()));
    if (newLength > GetLength())
        newLength = GetLength();
    m_data.resize(static_cast<size_t>(newLength));
}

void CString::Format(LPCTSTR format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(LPCTSTR format, ...)
{
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

void CString::FormatV(LPCTSTR format, va_list args)
{
    m_data.clear();
    AppendFormatV(format, args);
}

void CString::AppendFormatV(LPCTSTR format, va_list args)
{
    if (!format)
        return;
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int needed = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0)
        return;
    if (static_cast<size_t>(needed) < sizeof small) {
        m_data.append(small, static_cast<size_t>(needed));
        return;
    }
    std::vector<char> big(static_cast<size_t>(needed) + 1);
    vsnprintf(big.data(), big.size(), format, args);
    m_data.append(big.data(), static_cast<size_t>(needed));
}

int CString::Find(char ch, int start) const
{
    if (start < 0 || start >= GetLength())
        return -1;
    size_t pos = m_data.find(ch, static_cast<size_t>(start));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(LPCTSTR sub, int start) const
{
    if (!sub || start < 0 || start > GetLength())
        return -1;
    size_t pos = m_data.find(sub, static_cast<size_t>(start));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const
{
    size_t pos = m_data.rfind(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int count) const
{
    if (count <= 0)
        return CString();
    if (count >= GetLength())
        return *this;
    return CString(m_data.substr(0, static_cast<size_t>(count)));
}

CString CString::Mid(int first) const
{
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const
{
    if (first < 0)
        first = 0;
    if (count < 0)
        count = 0;
    if (first >= GetLength() || count == 0)
        return CString();
    if (count > GetLength() - first)
        count = GetLength() - first;
    return CString(m_data.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Right(int count) const
{
    if (count <= 0)
        return CString();
    if (count >= GetLength())
        return *this;
    return CString(m_data.substr(m_data.size() - static_cast<size_t>(count)));
}

int CString::Compare(LPCTSTR other) const
{
    // Compares as unsigned bytes, so Windows-1252 letters sort after ASCII.
    int r = strcmp(m_data.c_str(), other ? other : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(LPCTSTR other) const
{
    const char* a = m_data.c_str();
    const char* b = other ? other : "";
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(LowerAscii(*a));
        unsigned char cb = static_cast<unsigned char>(LowerAscii(*b));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

int CString::Remove(char ch)
{
    size_t before = m_data.size();
    std::string out;
    out.reserve(before);
    for (char c : m_data)
        if (c != ch)
            out.push_back(c);
    m_data.swap(out);
    return static_cast<int>(before - m_data.size());
}

int CString::Delete(int index, int count)
{
    if (index < 0)
        index = 0;
    if (count > 0 && index < GetLength())
        m_data.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

CString& CString::operator+=(const CString& other)
{
    m_data += other.m_data;
    return *this;
}

CString& CString::operator+=(LPCTSTR text)
{
    if (text)
        m_data.append(text);
    return *this;
}

CString& CString::operator+=(char ch)
{
    m_data.push_back(ch);
    return *this;
}

CString operator+(const CString& a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(const CString& a, LPCTSTR b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(LPCTSTR a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(const CString& a, char b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(char a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}

// Windows paths on drive Z: to Linux paths and back, names found in any letter
// case, and the alternate names of names that Windows-1252 cannot show.
#include "platform/paths/DrivePaths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include "platform/strings/Codepage.h"

namespace zq {
namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsForbiddenInName(unsigned char c)
{
    return c < 0x20 || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|' || c == ':';
}

std::string JoinLinux(const std::vector<std::string>& parts, size_t count)
{
    return "/" + JoinFirst(parts, count, '/');
}

// The absolute Linux components (UTF-8) that a Windows path names, by its
// text alone.
bool LexicalComponents(const char* windowsPath, std::vector<std::string>& parts, DWORD& error)
{
    parts.clear();
    if (windowsPath == nullptr || *windowsPath == '\0') {
        error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    const std::string path(windowsPath);
    size_t pos = 0;
    bool absolute = false;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        error = ERROR_BAD_NETPATH;
        return false;
    }
    if (path.size() >= 2 && path[1] == ':') {
        const char drive = path[0];
        if (drive != 'z' && drive != 'Z') {
            const bool letter = (drive >= 'a' && drive <= 'z') || (drive >= 'A' && drive <= 'Z');
            error = letter ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME;
            return false;
        }
        pos = 2;
    }
    if (pos < path.size() && IsSeparator(path[pos]))
        absolute = true;
    if (!absolute) {
        const std::string cwd = CurrentLinuxDirectory();
        if (cwd.empty()) {
            error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        parts = SplitAt(cwd, '/');
    }

    std::string name;
    auto flush = [&]() -> bool {
        if (name.empty() || name == ".") {
        } else if (name == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else {
            for (unsigned char c : name) {
                if (IsForbiddenInName(c)) {
                    error = ERROR_INVALID_NAME;
                    return false;
                }
            }
            parts.push_back(Cp1252ToUtf8(name));
        }
        name.clear();
        return true;
    };
    for (; pos < path.size(); ++pos) {
        if (IsSeparator(path[pos])) {
            if (!flush())
                return false;
        } else {
            name.push_back(path[pos]);
        }
    }
    if (!flush())
        return false;
    return true;
}

// The first entry of the folder, in sorted order, that matches; empty when
// none does. Sorted, so the same folder always gives the same answer.
template <typename Matches>
std::string FirstMatchingEntry(const std::string& folder, Matches matches)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return std::string();
    std::vector<std::string> found;
    while (struct dirent* entry = readdir(dir)) {
        const std::string entryName(entry->d_name);
        if (entryName != "." && entryName != ".." && matches(entryName))
            found.push_back(entryName);
    }
    closedir(dir);
    if (found.empty())
        return std::string();
    std::sort(found.begin(), found.end());
    return found.front();
}

// The name in the folder that equals the wanted one apart from letter case;
// empty when there is none.
std::string FindNameNoCase(const std::string& folder, const std::string& wanted)
{
    const std::string wantedWin = Utf8ToCp1252(wanted);
    return FirstMatchingEntry(
        folder, [&](const std::string& name) { return EqualNoCaseCp1252(Utf8ToCp1252(name), wantedWin); });
}

// The entry of the folder whose alternate name is the wanted one; empty
// when there is none.
std::string FindAlternateName(const std::string& folder, const std::string& wanted)
{
    if (wanted.size() < 8 || wanted[0] != '~')
        return std::string();
    return FirstMatchingEntry(folder, [&](const std::string& name) {
        return NeedsAlternateName(name) && EqualNoCaseCp1252(AlternateName(name), wanted);
    });
}

}  // namespace

bool NeedsAlternateName(const std::string& linuxName)
{
    const std::string windows = Utf8ToCp1252(linuxName);
    if (Cp1252ToUtf8(windows) != linuxName)
        return true;
    for (unsigned char c : windows)
        if (c == '\\' || c == '/' || IsForbiddenInName(c))
            return true;
    return false;
}

std::string AlternateName(const std::string& linuxName)
{
    // FNV-1a over the bytes of the Linux name.
    unsigned hash = 2166136261u;
    for (unsigned char c : linuxName) {
        hash ^= c;
        hash *= 16777619u;
    }
    static const char hex[] = "0123456789ABCDEF";
    std::string name = "~";
    for (int shift = 24; shift >= 0; shift -= 4)
        name.push_back(hex[(hash >> shift) & 0xF]);
    const size_t dot = linuxName.rfind('.');
    if (dot != std::string::npos && dot > 0 && linuxName.size() - dot - 1 >= 1 && linuxName.size() - dot - 1 <= 3) {
        std::string extension;
        for (size_t i = dot + 1; i < linuxName.size(); ++i) {
            const char c = linuxName[i];
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
                extension.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c));
            else
                return name;
        }
        name += "." + extension;
    }
    return name;
}

std::string CurrentLinuxDirectory()
{
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr)
            return std::string(buffer.data());
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

std::string ProgramLinuxFolder()
{
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return std::string();
    std::string exe(buffer.data(), static_cast<size_t>(length));
    const size_t slash = exe.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

bool WindowsToLinux(const char* windowsPath, std::string& linuxPath, DWORD* error)
{
    linuxPath.clear();
    std::vector<std::string> parts;
    DWORD code = ERROR_SUCCESS;
    if (!LexicalComponents(windowsPath, parts, code)) {
        if (error != nullptr)
            *error = code;
        return false;
    }
    std::string path = JoinLinux(parts, parts.size());
    struct stat st;
    if (parts.empty() || lstat(path.c_str(), &st) == 0 || errno != ENOENT) {
        linuxPath = path;
        return true;
    }
    // Some name is missing as written: look each one up without regard to
    // case, up to the first that does not exist in any case.
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string prefix = JoinLinux(parts, i + 1);
        if (lstat(prefix.c_str(), &st) == 0)
            continue;
        if (errno != ENOENT)
            break;
        std::string other = FindNameNoCase(JoinLinux(parts, i), parts[i]);
        if (other.empty())
            other = FindAlternateName(JoinLinux(parts, i), Utf8ToCp1252(parts[i]));
        if (other.empty())
            break;
        parts[i] = other;
    }
    linuxPath = JoinLinux(parts, parts.size());
    return true;
}

std::string LinuxToWindows(const std::string& linuxPath)
{
    std::string out;
    size_t start = 0;
    if (!linuxPath.empty() && linuxPath[0] == '/') {
        out = "Z:";
        start = 1;
    }
    std::string name;
    bool any = false;
    auto flush = [&]() {
        if (name.empty())
            return;
        if (any || start == 1)
            out.push_back('\\');
        std::string win = Utf8ToCp1252(name);
        std::replace(win.begin(), win.end(), '\\', '?');
        out += win;
        any = true;
        name.clear();
    };
    for (size_t i = start; i < linuxPath.size(); ++i) {
        if (linuxPath[i] == '/')
            flush();
        else
            name.push_back(linuxPath[i]);
    }
    flush();
    if (start == 1 && !any)
        out.push_back('\\');
    return out;
}

bool FullWindowsPath(const char* windowsPath, std::string& fullPath, DWORD* error)
{
    fullPath.clear();
    std::vector<std::string> parts;
    DWORD code = ERROR_SUCCESS;
    if (!LexicalComponents(windowsPath, parts, code)) {
        if (error != nullptr)
            *error = code;
        return false;
    }
    fullPath = LinuxToWindows(JoinLinux(parts, parts.size()));
    return true;
}

DWORD MissingPathError(const std::string& linuxPath)
{
    size_t slash = linuxPath.rfind('/');
    std::string folder;
    if (slash == std::string::npos)
        folder = ".";
    else if (slash == 0)
        folder = "/";
    else
        folder = linuxPath.substr(0, slash);
    struct stat st;
    if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

std::vector<std::string> SplitAt(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : text) {
        if (c == separator) {
            if (!piece.empty())
                pieces.push_back(piece);
            piece.clear();
        } else {
            piece.push_back(c);
        }
    }
    if (!piece.empty())
        pieces.push_back(piece);
    return pieces;
}

std::string JoinFirst(const std::vector<std::string>& pieces, size_t count, char separator)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            text.push_back(separator);
        text += pieces[i];
    }
    return text;
}

}  // namespace zq

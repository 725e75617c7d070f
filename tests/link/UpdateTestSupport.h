// Helpers of the update, unpack and CRC tests: a temporary folder with
// files, Windows paths on drive Z:, random content.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace updatetest {

class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "zq-update");
    ~TempFolder();
    const std::string& Path() const { return m_path; }
    // Writes the file (folders below are made) and returns its Linux path.
    std::string Write(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const;
    // Names of every file and folder below, relative and sorted.
    std::vector<std::string> List() const;

private:
    std::string m_path;
};

// "Z:" and the Linux path with backslashes.
std::string WindowsPath(const std::string& linuxPath);
std::string RandomBytes(size_t size, unsigned seed);

}  // namespace updatetest

// The container check and the file selection over generated descriptions.
// The input steers a generator that writes a container description into a
// Repository folder with a few files, folders and a file outside it, and a
// product.xml beside it. Both are read into the model as on the update road;
// then the check, the file selection and the display names run, and what
// they answer is held against the folder as Linux sees it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "container/UpdateResult.h"
#include "platform/paths/DrivePaths.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"
#include "platform/strings/Codepage.h"
#include "platform/window/MessageBoxSeam.h"
#include "platform/window/WinUser.h"
#include "texts/LanguageTexts.h"

namespace {

// The input as a stream of choices; an input that has run out answers 0,
// and 0 is always the usual choice, so a short input still gives a sound
// description.
class Choices {
public:
    Choices(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    unsigned Next() { return m_pos < m_size ? m_data[m_pos++] : 0u; }
    unsigned Pick(unsigned count) { return Next() % count; }
    bool Flag() { return (Next() & 1u) != 0; }
    // Up to eight raw bytes of the input, for values beyond the pools.
    std::string Raw()
    {
        std::string out;
        for (unsigned n = Pick(9); n > 0 && m_pos < m_size; --n)
            out.push_back(static_cast<char>(m_data[m_pos++]));
        return out;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

std::string Escape(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out.push_back(ch);
        }
    }
    return out;
}

// A value from a pool, now and then raw bytes of the input instead.
std::string Value(Choices& in, const std::vector<std::string>& pool)
{
    unsigned pick = in.Pick(static_cast<unsigned>(pool.size()) + 1);
    return pick < pool.size() ? pool[pick] : in.Raw();
}

const std::vector<std::string> kDeviceNames = {"HF1", "HF2", "RX7150", ""};
const std::vector<std::string> kVariants = {"EU", "US"};
const std::vector<std::string> kIds = {"1", "2"};
const std::vector<std::string> kDisplayNames = {"Zubeh\xC3\xB6r", "", "\xE6\x97\xA5\xE6\x9C\xAC"};
const std::vector<std::string> kPcbs = {"P1", "P2"};
const std::vector<std::string> kRevisions = {"A", "B"};
const std::vector<std::string> kVersions = {"2.0", "1.0", "2.00"};
const std::vector<std::string> kLanguages = {"English", "German"};
const std::vector<std::string> kLibraries = {"vds", "tts"};
// File names: present files, a folder, names that reach outside or into a
// folder, a German letter (UTF-8 in the XML and on disk), a name outside
// Windows-1252, a pattern, and names that are not there.
const std::vector<std::string> kFileNames = {"a.bin",
                                             "sub\\b.bin",
                                             "sub/b.bin",
                                             "sub",
                                             "",
                                             "..\\outside.bin",
                                             "sub\\..\\a.bin",
                                             "sub\\..\\..\\outside.bin",
                                             "\xC3\xA4.bin",
                                             "\xE6\x97\xA5.bin",
                                             "v*.bin",
                                             "*",
                                             "missing.bin",
                                             ".\\a.bin",
                                             "sub\\",
                                             ".",
                                             "a.bin:s",
                                             "Z:a.bin",
                                             "\\a.bin"};

std::string Attribute(Choices& in, const char* name, const std::vector<std::string>& pool)
{
    // Mostly there; missing ones carry the record before over.
    if (in.Pick(8) == 7)
        return "";
    return std::string(" ") + name + "='" + Escape(Value(in, pool)) + "'";
}

std::string FileElement(Choices& in)
{
    return "<file" + Attribute(in, "name", kFileNames) + Attribute(in, "size", {"1"}) +
           Attribute(in, "variant", {"x"}) + "/>";
}

std::string FileElements(Choices& in)
{
    std::string out;
    for (unsigned n = 1 + in.Pick(3); n > 0; --n)
        out += FileElement(in);
    return out;
}

std::string ContainerDescription(Choices& in)
{
    std::string xml = "<update" + Attribute(in, "version", kVersions) + ">";
    for (unsigned n = 1 + in.Pick(3); n > 0; --n) {
        xml += "<device" + Attribute(in, "name", kDeviceNames) + Attribute(in, "variant", kVariants) +
               Attribute(in, "id", kIds) + Attribute(in, "disp_name", kDisplayNames) + "><hardware>";
        for (unsigned b = 1 + in.Pick(2); b > 0; --b)
            xml += "<board" + Attribute(in, "pcb", kPcbs) + Attribute(in, "revision", kRevisions) + "/>";
        xml += "</hardware></device>";
    }
    xml += "<files>";
    for (unsigned n = 1 + in.Pick(4); n > 0; --n) {
        switch (in.Pick(4)) {
        case 0:
            xml += "<common>" + FileElements(in) + "</common>";
            break;
        case 1:
            xml += "<langs>";
            for (unsigned l = 1 + in.Pick(2); l > 0; --l) {
                xml += "<lang" + Attribute(in, "name", kLanguages) + ">" + FileElements(in);
                for (unsigned r = in.Pick(3); r > 0; --r)
                    xml += "<requires" + Attribute(in, "name", kLibraries) + Attribute(in, "version", kVersions) + "/>";
                xml += "</lang>";
            }
            xml += "</langs>";
            break;
        case 2:
            xml += "<vd_data>";
            for (unsigned l = 1 + in.Pick(2); l > 0; --l) {
                xml += "<lang" + Attribute(in, "name", kLanguages) + ">";
                for (unsigned b = 1 + in.Pick(2); b > 0; --b)
                    xml += "<lib" + Attribute(in, "name", kLibraries) + Attribute(in, "version", kVersions) + ">" +
                           FileElements(in) + "</lib>";
                xml += "</lang>";
            }
            xml += "</vd_data>";
            break;
        default:
            xml += FileElement(in);  // a file in the wrong place
            break;
        }
    }
    xml += "</files>";
    if (in.Pick(8) == 7)
        xml += "<device name='late'/>";  // refuses the description
    return xml + "</update>";
}

std::string ProductDescription(Choices& in)
{
    std::string xml = "<product name='p'><devices>";
    for (unsigned n = 1 + in.Pick(3); n > 0; --n) {
        xml += "<device" + Attribute(in, "name", kDeviceNames) + Attribute(in, "variant", kVariants) +
               Attribute(in, "id", kIds) + ">";
        xml += "<software" + Attribute(in, "version", {"1.0", "2.0", "138"}) + "/>";
        for (unsigned b = 1 + in.Pick(2); b > 0; --b)
            xml += "<hardware" + Attribute(in, "pcb", kPcbs) + Attribute(in, "revision", kRevisions) + "/>";
        xml += "<extended><langs>";
        for (unsigned l = in.Pick(3); l > 0; --l) {
            xml += "<lang" + Attribute(in, "name", kLanguages) + " removable='0'>";
            for (unsigned b = in.Pick(3); b > 0; --b)
                xml += "<lib" + Attribute(in, "name", kLibraries) + Attribute(in, "version", kVersions) + "/>";
            xml += "</lang>";
        }
        xml += "</langs></extended></device>";
    }
    return xml + "</devices></product>";
}

CString WinPath(const std::string& path)
{
    return CString(zq::LinuxToWindows(path));
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    FILE* out = fopen(path.c_str(), "wb");
    if (out == nullptr)
        abort();
    fwrite(bytes.data(), 1, bytes.size(), out);
    fclose(out);
}

std::string g_work;        // the temp folder: product.xml and a file outside the Repository
std::string g_repository;  // the Repository folder's real path

void Prepare()
{
    char exe[PATH_MAX] = {0};
    if (readlink("/proc/self/exe", exe, sizeof(exe) - 1) > 0)
        g_ProgramPath = WinPath(exe);  // the program folder holds libexpat.dll
    // Removed with all in it when the process ends.
    static zqtest::TempFolder folder;
    char real[PATH_MAX];
    if (realpath(folder.Linux().c_str(), real) == nullptr)
        abort();
    g_work = real;
    g_repository = g_work + "/Repository";
    mkdir(g_repository.c_str(), 0700);
    mkdir((g_repository + "/sub").c_str(), 0700);
    for (const char* name : {"a.bin", "sub/b.bin", "\xC3\xA4.bin", "\xE6\x97\xA5.bin", "v1.bin"})
        WriteFile(g_repository + "/" + name, "x");
    WriteFile(g_work + "/outside.bin", "secret");
    g_WorkFolder = WinPath(g_work);
}

// Whether a name of the description, as the system holds it, names a
// regular file inside the Repository folder, judged by Linux itself.
bool IsFileInsideRepository(const CString& name)
{
    std::string path = zq::Cp1252ToUtf8(name.GetString());
    for (char& ch : path)
        if (ch == '\\')
            ch = '/';
    char real[PATH_MAX];
    if (realpath((g_repository + "/" + path).c_str(), real) == nullptr)
        return false;
    struct stat st;
    const std::string resolved = real;
    return resolved.compare(0, g_repository.size() + 1, g_repository + "/") == 0 && stat(real, &st) == 0 &&
           S_ISREG(st.st_mode);
}

void Check(bool condition)
{
    if (!condition)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool prepared = (Prepare(), true);
    (void)prepared;
    Choices in(data, size);
    const bool force = in.Flag();
    const int answer = in.Flag() ? IDNO : IDYES;
    WriteFile(g_repository + "/update.xml", ContainerDescription(in));
    WriteFile(g_work + "/product.xml", ProductDescription(in));

    const CString description = WinPath(g_repository + "/update.xml");
    if (g_UpdateModel.ParseResourceXml(description) == 1 && g_UpdateModel.CheckContainerFiles(description)) {
        // Every common and language file the check let pass is a file inside
        // the Repository that the session can send.
        const UPDATEContainer& container = g_UpdateModel.m_Container;
        for (const UPDATEFile& file : container.common)
            Check(IsFileInsideRepository(file.name));
        for (const UPDATELang& lang : container.langs)
            for (const UPDATEFile& file : lang.files)
                Check(IsFileInsideRepository(file.name));
        for (const UPDATEVdData& entry : container.vd_data)
            for (const UPDATELibrary& library : entry.libs)
                for (const UPDATEFile& file : library.files)
                    Check(UPDATEContainer::IsNameInsideFolder(file.name));
    }

    if (g_UpdateModel.ReadProductXml()) {
        int questions = 0;
        int result = -1;
        {
            const zqtest::ScopedSeam boxes(zq::SetMessageBoxResponder, [&](const zq::MessageBoxCall&) {
                ++questions;
                return answer;
            });
            LanguageTexts texts;
            texts.SetLanguage(LanguageTexts::LANGUAGE_ENGLISH);
            result = g_UpdateModel.GetFileList(force ? 1 : 0, texts);
        }

        const std::vector<CString>& list = g_UpdateModel.m_FileList;
        Check(result == UPDATE_RESULT_SUCCESS || result == UPDATE_RESULT_DEVICE_NOT_IN_CONTAINER ||
              result == UPDATE_RESULT_HARDWARE_NOT_SUPPORTED || result == UPDATE_RESULT_SAME_VERSION);
        Check(questions <= 1 && (!force || questions == 0));
        Check(result == UPDATE_RESULT_SUCCESS || list.empty());
        Check(result != UPDATE_RESULT_SAME_VERSION || (questions == 1 && answer == IDNO));
        // A served device receives the common files first, in their order.
        const std::vector<UPDATEFile>& common = g_UpdateModel.m_Container.common;
        if (!list.empty()) {
            Check(list.size() >= common.size());
            for (size_t i = 0; i < common.size(); ++i)
                Check(list[i] == common[i].name);
        }
        for (const UPDATEDevice& device : g_UpdateModel.m_Product.devices) {
            CString shown = "unchanged";
            if (g_UpdateModel.GetDisplayName(device, shown))
                Check(!shown.IsEmpty());
            else
                Check(shown == "unchanged");
        }
    }
    g_UpdateModel.Reset();
    return 0;
}

// The container check and the file selection on the filled model.
#include "container/UPDATEModel.h"
#include "container/UpdateResult.h"
#include "platform/app/CWinApp.h"
#include "platform/files/Files.h"
#include "platform/window/WinUser.h"
#include "texts/LanguageTexts.h"

namespace {

// True when the file lies in the folder (format "%s\%s"). A folder of that
// name is no file: the session could not send it.
bool FilePresent(const CString& folder, const UPDATEFile& file)
{
    if (!UPDATEContainer::IsNameInsideFolder(file.name))
        return false;
    CString path;
    path.Format("%s\\%s", folder.GetString(), file.name.GetString());
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A file of a library other than "vds" need not be there, but its name
// obeys the same rule and may not name a folder: the selection can put it
// on the list, and the session would refuse it only after connecting.
bool NameAcceptable(const CString& folder, const UPDATEFile& file)
{
    if (!UPDATEContainer::IsNameInsideFolder(file.name))
        return false;
    CString path;
    path.Format("%s\\%s", folder.GetString(), file.name.GetString());
    const DWORD attributes = GetFileAttributesA(path);
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool SameDevice(const UPDATEDevice& a, const UPDATEDevice& b)
{
    return a.name == b.name && a.variant == b.variant && a.id == b.id;
}

}  // namespace

bool UPDATEModel::CheckContainerFiles(CString path)
{
    int cut = path.ReverseFind('\\');
    CString folder = cut >= 0 ? path.Left(cut) : CString("");

    if (!m_Container.CheckVdsFiles(folder))
        return false;
    for (const UPDATEFile& file : m_Container.common) {
        if (!FilePresent(folder, file))
            return false;
    }
    for (const UPDATELang& lang : m_Container.langs) {
        for (const UPDATEFile& file : lang.files) {
            if (!FilePresent(folder, file))
                return false;
        }
    }
    for (const UPDATEVdData& entry : m_Container.vd_data) {
        for (const UPDATELibrary& library : entry.libs) {
            if (library.name == "vds")
                continue;
            for (const UPDATEFile& file : library.files) {
                if (!NameAcceptable(folder, file))
                    return false;
            }
        }
    }
    return true;
}

int UPDATEModel::GetFileList(int force, LanguageTexts texts)
{
    return SelectUpdateFiles(force != 0, texts);
}

int UPDATEModel::SelectUpdateFiles(bool force, LanguageTexts& texts)
{
    m_FileList.clear();
    int result = UPDATE_RESULT_SUCCESS;
    for (const UPDATEDevice& device : m_Product.devices) {
        if (!DeviceExistsInContainer(device)) {
            result = UPDATE_RESULT_DEVICE_NOT_IN_CONTAINER;
            continue;
        }
        if (!IsHardwareSupported(device)) {
            result = UPDATE_RESULT_HARDWARE_NOT_SUPPORTED;
            continue;
        }
        if (!IsUpdateNeeded(force, device)) {
            if (AfxMessageBox(texts.GetText(TXT_ERR_SAME_VERSION), MB_YESNO) != IDYES)
                return UPDATE_RESULT_SAME_VERSION;
        }
        // Only the first device that passes receives files.
        for (const UPDATEFile& file : m_Container.common)
            m_FileList.push_back(file.name);
        for (const UPDATEDeviceLang& lang : device.langs)
            AddLangFiles(lang);
        return UPDATE_RESULT_SUCCESS;
    }
    return result;
}

bool UPDATEModel::DeviceExistsInContainer(const UPDATEDevice& device) const
{
    for (const UPDATEDevice& candidate : m_Container.devices) {
        if (SameDevice(candidate, device))
            return true;
    }
    return false;
}

bool UPDATEModel::IsHardwareSupported(const UPDATEDevice& device) const
{
    // The boards of every container device count, not only those of the
    // same device.
    for (const UPDATEStringPair& board : device.boards) {
        for (const UPDATEDevice& candidate : m_Container.devices) {
            for (const UPDATEStringPair& known : candidate.boards) {
                if (board.first == known.first && board.second == known.second)
                    return true;
            }
        }
    }
    return false;
}

bool UPDATEModel::IsUpdateNeeded(bool force, const UPDATEDevice& device) const
{
    if (force)
        return true;
    return m_Container.version != device.software;
}

void UPDATEModel::AddLangFiles(const UPDATEDeviceLang& lang)
{
    for (const UPDATELang& package : m_Container.langs) {
        if (package.name != lang.name)
            continue;
        for (const UPDATEFile& file : package.files)
            m_FileList.push_back(file.name);
        CheckRequires(lang, package);
        return;
    }
}

void UPDATEModel::CheckRequires(const UPDATEDeviceLang& lang, const UPDATELang& package)
{
    for (const UPDATEDeviceLib& lib : lang.libs) {
        for (const UPDATEStringPair& requirement : package.requires) {
            if (lib.name == requirement.first && lib.version != requirement.second)
                AddVdDataFiles(package.name, requirement.first, requirement.second);
        }
    }
}

void UPDATEModel::AddVdDataFiles(CString language, CString library, CString version)
{
    for (const UPDATEVdData& entry : m_Container.vd_data) {
        if (entry.name != language)
            continue;
        for (const UPDATELibrary& candidate : entry.libs) {
            if (candidate.name != library || candidate.version != version)
                continue;
            for (const UPDATEFile& file : candidate.files)
                m_FileList.push_back(file.name);
        }
    }
}

bool UPDATEModel::GetDisplayName(const UPDATEDevice& device, CString& displayName) const
{
    for (const UPDATEDevice& candidate : m_Container.devices) {
        if (!SameDevice(candidate, device))
            continue;
        if (candidate.disp_name.IsEmpty())
            return false;
        displayName = candidate.disp_name;
        return true;
    }
    return false;
}

// The settings dialog, the serial-port list and the stored "PortNumber".
#include "wizard/InterfaceSettings.h"

#include <cstring>

#include "platform/registry/Registry.h"
#include "resources/resource.h"

namespace {

const char SETTINGS_KEY[] = "Software\\ZQUpdateManager\\Settings";

// An enumeration that keeps failing at one index after another ends after
// this many such indexes in a row.
const DWORD MAX_FAILED_INDEXES = 16;

}  // namespace

BEGIN_MESSAGE_MAP(InterfaceSettings, CDialog)
    ON_BN_CLICKED(IDOK, &InterfaceSettings::OnOkClicked)
    ON_BN_CLICKED(IDCANCEL, &InterfaceSettings::OnCancelClicked)
END_MESSAGE_MAP()

InterfaceSettings::InterfaceSettings(CWnd* parent) : CDialog(IDD_INTERFACE_SETTINGS, parent) {}

InterfaceSettings::~InterfaceSettings() = default;

void InterfaceSettings::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_FORCE_UPDATE, m_forceUpdateCheck);
    DDX_Check(dx, IDC_FORCE_UPDATE, m_forceUpdate);
}

BOOL InterfaceSettings::OnInitDialog()
{
    CDialog::OnInitDialog();
    CWnd* box = GetDlgItem(IDC_LANGUAGE_COMBO);
    for (const CString& name : LanguageTexts::GetLanguageNames())
        box->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(static_cast<LPCSTR>(name)));
    box->SetWindowText(m_texts.GetLanguageName());
    SetCaptions();
    return TRUE;
}

void InterfaceSettings::SetCaptions()
{
    int language = m_texts.GetLanguage();
    if (language != LanguageTexts::LANGUAGE_ENGLISH && language != LanguageTexts::LANGUAGE_GERMAN)
        return;
    m_texts.SetItemText(this, IDC_LANGUAGE_LABEL, m_texts.GetText(TXT_CHOOSE_LANGUAGE));
    m_texts.SetItemText(this, IDC_FORCE_UPDATE, m_texts.GetText(TXT_FORCE_UPDATE));
    m_texts.SetItemText(this, IDOK, CString("OK"));
    m_texts.SetItemText(this, IDCANCEL, CString(language == LanguageTexts::LANGUAGE_ENGLISH ? "Cancel" : "Abbrechen"));
}

void InterfaceSettings::OnOkClicked()
{
    char name[100];
    name[0] = '\0';
    GetDlgItem(IDC_LANGUAGE_COMBO)->GetWindowText(name, sizeof(name));
    m_texts.SetLanguageByName(name);
    m_texts.SaveLanguage();
    SetCaptions();
    OnOK();
}

void InterfaceSettings::OnCancelClicked()
{
    OnCancel();
}

void InterfaceSettings::EnumerateComPorts()
{
    m_comPorts.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD failedInRow = 0;
    for (DWORD index = 0; failedInRow < MAX_FAILED_INDEXES; ++index) {
        char name[200];
        BYTE data[200];
        DWORD nameLength = 200;
        DWORD dataLength = 200;
        LONG status = RegEnumValueA(key, index, name, &nameLength, nullptr, nullptr, data, &dataLength);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS) {
            // A value too long for the buffers, or one that cannot be read,
            // names no port that could be opened: it is left out.
            ++failedInRow;
            continue;
        }
        failedInRow = 0;
        ComPortName entry;
        memset(entry.name, 0, sizeof(entry.name));
        DWORD length = dataLength < sizeof(entry.name) ? dataLength : sizeof(entry.name);
        for (DWORD i = 0; i < length && data[i] != 0; ++i)
            entry.name[i] = static_cast<char>(data[i]);
        m_comPorts.push_back(entry);
    }
    RegCloseKey(key);
}

int InterfaceSettings::ReadPortNumber()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 0;
    char value[100];
    DWORD length = sizeof(value);
    LONG status = RegQueryValueExA(key, "PortNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &length);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || length > sizeof(value))
        return 0;
    // The text ends at its first NUL or after the bytes stored.
    DWORD end = 0;
    while (end < length && value[end] != '\0')
        ++end;
    if (end < 3 || strncmp(value, "COM", 3) != 0)
        return 0;
    DWORD pos = 3;
    while (pos < end && (value[pos] == ' ' || (value[pos] >= '\t' && value[pos] <= '\r')))
        ++pos;
    bool negative = false;
    if (pos < end && (value[pos] == '+' || value[pos] == '-')) {
        negative = value[pos] == '-';
        ++pos;
    }
    long long number = 0;
    for (; pos < end && value[pos] >= '0' && value[pos] <= '9'; ++pos) {
        if (number < 0x80000000LL)
            number = number * 10 + (value[pos] - '0');
    }
    if (negative)
        number = -number;
    if (number > 0x7FFFFFFFLL)
        number = 0x7FFFFFFFLL;
    if (number < -0x80000000LL)
        number = -0x80000000LL;
    return static_cast<int>(number);
}

int InterfaceSettings::WritePortNumber(const char* portText)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return 0;
    LONG status = RegSetValueExA(key, "PortNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>(portText),
                                 static_cast<DWORD>(strlen(portText) + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 1 : 0;
}

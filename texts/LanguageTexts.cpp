// The English and German texts, the language switch and the stored language.
#include "texts/LanguageTexts.h"

#include <cstring>

#include "platform/registry/Registry.h"
#include "platform/window/CWnd.h"
#include "resources/resource.h"

namespace {

const char kSettingsKey[] = "Software\\ZQUpdateManager\\Settings";
const char kLanguageValue[] = "Language";

const char* const kEnglishTexts[LanguageTexts::TEXT_COUNT] = {
    // 0 TXT_WELCOME_TITLE
    "Welcome to the Aldemar Accessories Update Manager",
    // 1 TXT_WELCOME_BODY
    "With this application you easily update the firmware\nof your hands-free car kit with Bluetooth technology.",
    // 2 TXT_WELCOME_FOOTER
    "Click on <Next> to go on.",
    // 3 TXT_SELECT_CONTAINER
    "Do you have already files saved, please choose <Browse> to choose the file\nyou want to install to the device.\n\nPlease note:\nThe Update Manager will later unpack the update file automatically.\n\nDo you have choosen a file, please select <Next> to go on.",
    // 4 TXT_SELECT_FILE_QUESTION
    "If you want to continue the update process you have to select a\nfile with update data.\nDo you want to continue?",
    // 5 TXT_INTERNET_HINT
    "The latest firmware can also be downloaded from the internet.",
    // 6 TXT_SELECT_DEVICE_HINT
    "Please select your hands-free car kit.",
    // 7 TXT_SELECT_DEVICE_ITEM
    "Hands-free car kit",
    // 8 TXT_BLUETOOTH_HELP
    "Please disconnect a paired mobile phone from hands-free car kit and\ndeactivate function Auto connect.\n\nFor next step you need a Bluetooth-stick connected or a Bluetooth-module\nincluded to your computer and some Bluetooth Management Software.\n\nShort guidance:\nPlease connect Bluetooth-stick to computer or active Bluetooth-module.\nInstall Bluetooth Management Software. Activate update mode in hands-free car kit.\nStart Bluetooth management Software and search for device. To establish a Bluetooth\nconnection with hands-free car kit, please enter standard PIN number 6392 or changed PIN.\n\nPlease click on <Next> to go on.",
    // 9 TXT_SELECT_PORT
    "Please choose COM-Port your Bluetooth-stick is connected to.\nThis info e.g you will get from your Bluetooth Management\nSoftware.\n\n\nPlease click on <Next> to go on.",
    // 10 TXT_DOWNLOADING
    "The Aldemar Accessories Update Manager is trying to download latest firmware from the internet.\nDepending on bit rate this can take a few minutes.\nPlease wait. ",
    // 11 TXT_DOWNLOAD_DONE
    "The latest firmware has been downloaded.",
    // 12 TXT_CONNECTING
    "A connection is being established to the hands-free car kit.\nThis may take a few seconds.",
    // 13 TXT_DEVICE_INFO_TITLE
    "Information about hands-free car kit",
    // 14 TXT_CHOOSE_LANGUAGE
    "Please choose a language:",
    // 15 TXT_FORCE_UPDATE
    "Deactivate software verification during update",
    // 16 TXT_UPDATE_DONE
    "Data were successfully sent to the hands-free car kit.\nThey will now be extracted and installed there now.\n\nDuring installation you see a progress bar in the middle of the\ndisplay, moving from left to right.\n\nDo not take the display off the holder and do not\ndisconnect the power supply to the hands-free car kit.\n\nOn the display you will see the normal user interface again\nafter the update has been completed.",
    // 17 TXT_SENDING_CONTAINER
    "The update container now will be send to the hands-free car kit.\nThis can take a few minutes. Please wait.",
    // 18 TXT_CONFIRM_CLOSE
    "Do you really want to close\nthe Aldemar Accessories Update Manager?",
    // 19 TXT_UPDATE_PROGRESS
    "Update progress:",
    // 20 TXT_SENDING
    "The Aldemar Accessories Update Manager is sending data to the hands-free car kit.\nThis may take a few minutes.\n\nDo not disconnect the power supply to the hands-free car kit!",
    // 21 TXT_READING_DEVICE
    "A connection has successfully been successfully established\nto the hands-free car kit. Readout of data has begun.\nPlease wait.",
    // 22 TXT_DOWNLOADING_2
    "The Aldemar Accessories Update Manager is trying to download the latest firmware\nfrom the internet.\nDepending on bit rate this may can take a few minutes.\nPlease wait. ",
    // 23 TXT_UNPACKING
    "The update container files now will be unzipped. This may take\na few minutes. Please wait.",
    // 24 TXT_UPDATE_ERROR
    "Update error. Please try again.",
    // 25 TXT_DOWNLOAD_FAILED
    "The download of the firmware failed.",
    // 26 TXT_NO_CONNECTION
    "No connection was established.\nPlease check if correct COM-port was set and device was in update mode.\nPlease try again.",
    // 27 TXT_NO_UPDATE_FILE
    "No update file was found.",
    // 28 TXT_CONTAINER_CORRUPT
    "The Aldemar Accessories Update Manager cannot find proper file.\nUpdate container file is probably corrupted.\nPlease choice a suitable update file\nor download one from the internet.",
    // 29 TXT_CONFIRM_STOP_DOWNLOAD
    "Do you really want to stop the download?",
    // 30 TXT_NO_UPDATE_FILE_2
    "No update file was selected.",
    // 31 TXT_CANNOT_UNPACK
    "The update file cannot be unpacked.",
    // 32 TXT_STEP_START
    "1. Start.",
    // 33 TXT_STEP_CONNECTING
    "3. Connecting.",
    // 34 TXT_STEP_RECOGNIZING
    "4. Recognizing Device.",
    // 35 TXT_STEP_UNPACKING
    "2. Unpacking.",
    // 36 TXT_STEP_TRANSFERRING
    "5. Transfering.",
    // 37 TXT_STEP_DISCONNECTING
    "6. Disconnecting.",
    // 38 TXT_STEP_END
    "7. End Of Update.",
    // 39 TXT_ERR_SUCCESS
    "success",
    // 40 TXT_ERR_DEVICE_DISCONNECTED
    "Device terminates connection with our Computer",
    // 41 TXT_ERR_WRONG_ACK
    "Wrong acknowledge has been received from device",
    // 42 TXT_ERR_UNEXPECTED_COMMAND
    "Unexpected command has been received from the device",
    // 43 TXT_ERR_NOT_RESPONDING
    "The hands-free car kit is not responding",
    // 44 TXT_ERR_USER_TERMINATED
    "User terminated connection",
    // 45 TXT_ERR_NO_UPDATE_DATA
    "There exists no data for update",
    // 46 TXT_ERR_FILE_OPEN
    "File open error",
    // 47 TXT_ERR_CONTAINER_BROKEN
    "Can not find proper object. \nThe Update container is broken.",
    // 48 TXT_ERR_UNZIP
    "Unzip error",
    // 49 TXT_ERR_DISK_SPACE
    "Not enough space on disk to write/unzip file",
    // 50 TXT_ERR_READ_FILE
    "Can not read file",
    // 51 TXT_ERR_WRITE_FILE
    "Can not write file on disk",
    // 52 TXT_ERR_INTERNET_OPEN
    "Can not open internet connection",
    // 53 TXT_ERR_INTERNET_READ
    "Can not read file from internet",
    // 54 TXT_ERR_INTERNET_LINK
    "Can not open internet link",
    // 55 TXT_ERR_REQUEST_NOT_SENT
    "The request could not be sent to the server",
    // 56 TXT_ERR_UNSPECIFIC
    "Unspecific error",
    // 57 TXT_ERR_NO_CONNECTION
    "The hands-free car kit is not responding. No connection was established.\nPlease check if correct COM-port was set and device was in update mode.\nPlease try again.",
    // 58 TXT_ERR_NO_UPDATE_FOR_DEVICE
    "The Update container does not provide an update for this device",
    // 59 TXT_ERR_NO_UPDATE_FOR_HARDWARE
    "The Update container does not provide an update for this hardware version",
    // 60 TXT_ERR_SAME_VERSION
    "The same software version, do you want to make an update",
    // 61 TXT_ERR_XML_PARSE
    "XML parse error. \nThe Update container is broken.",
};

const char* const kGermanTexts[LanguageTexts::TEXT_COUNT] = {
    // 0 TXT_WELCOME_TITLE
    "Willkommen beim Aldemar Zubeh\xF6r Update Manager",
    // 1 TXT_WELCOME_BODY
    "Mit diesem Programm aktualisieren Sie ganz einfach die Firmware\nIhrer Freisprecheinrichtung mit Bluetooth-Technologie.",
    // 2 TXT_WELCOME_FOOTER
    "Klicken Sie auf <Weiter> um fortzufahren.",
    // 3 TXT_SELECT_CONTAINER
    "Haben Sie bereits Dateien gespeichert, w\xE4hlen Sie bitte <Browse>, um die Datei\nauszuw\xE4hlen, die Sie auf dem Ger\xE4t installieren m\xF6"
    "chten.\n\nBitte beachten Sie:\nDer Update Manager entpackt die Updatedatei sp\xE4ter automatisch.\n\nHaben Sie eine Datei ausgew\xE4hlt, klicken Sie bitte auf <Weiter>, um fortzufahren.",
    // 4 TXT_SELECT_FILE_QUESTION
    "Um das Update durchf\xFChren zu k\xF6nnen, m\xFCssen Sie eine\nUpdatedatei ausw\xE4hlen. M\xF6"
    "chten Sie den Vorgang fortsetzen?",
    // 5 TXT_INTERNET_HINT
    "Die neueste Firmware kann auch aus dem Internet geladen werden.",
    // 6 TXT_SELECT_DEVICE_HINT
    "Bitte w\xE4hlen Sie Ihre Freisprecheinrichtung aus.",
    // 7 TXT_SELECT_DEVICE_ITEM
    "Freisprecheinrichtung",
    // 8 TXT_BLUETOOTH_HELP
    "Bitte trennen Sie ein gekoppeltes Mobiltelefon von der Freisprecheinrichtung und\ndeaktivieren Sie die Funktion Auto Connect.\n\nF\xFCr den n\xE4"
    "chsten Schritt ben\xF6tigen Sie einen angeschlossenen Bluetooth-Stick oder ein\neingebautes Bluetooth-Modul sowie eine Bluetooth-Management-Software.\n\nKurzanleitung:\nSchlie\xDF"
    "en Sie den Bluetooth-Stick an den Computer an oder aktivieren Sie das Bluetooth-Modul.\nInstallieren Sie die Bluetooth-Management-Software. Aktivieren Sie den Updatemodus der\nFreisprecheinrichtung. Starten Sie die Bluetooth-Management-Software und suchen Sie nach dem\nGer\xE4t. Geben Sie f\xFCr die Bluetooth-Verbindung mit der Freisprecheinrichtung die Standard-PIN\n6392 oder Ihre ge\xE4nderte PIN ein.\n\nBitte klicken Sie auf <Weiter>, um fortzufahren.",
    // 9 TXT_SELECT_PORT
    "Bitte w\xE4hlen Sie den COM-Port, an den Ihr Bluetooth-Stick angeschlossen ist.\nDiese Angabe finden Sie z. B. in Ihrer Bluetooth-Management-\nSoftware.\n\n\nBitte klicken Sie auf <Weiter>, um fortzufahren.",
    // 10 TXT_DOWNLOADING
    "Der Aldemar Zubeh\xF6r Update Manager versucht, die neueste Firmware aus dem Internet zu laden.\nJe nach \xDC"
    "bertragungsrate kann dies einige Minuten dauern.\nBitte warten. ",
    // 11 TXT_DOWNLOAD_DONE
    "Die neueste Firmware wurde heruntergeladen.",
    // 12 TXT_CONNECTING
    "Eine Verbindung mit der Freisprecheinrichtung wird aufgebaut.\nDies kann einige Sekunden dauern.",
    // 13 TXT_DEVICE_INFO_TITLE
    "Informationen \xFC"
    "ber die Freisprecheinrichtung",
    // 14 TXT_CHOOSE_LANGUAGE
    "Bitte w\xE4hlen Sie eine Sprache aus:",
    // 15 TXT_FORCE_UPDATE
    "Software\xFC"
    "berpr\xFC"
    "fung beim Update ausschalten",
    // 16 TXT_UPDATE_DONE
    "Die Daten wurden erfolgreich an die Freisprecheinrichtung gesendet.\nSie werden dort nun entpackt und installiert.\n\nW\xE4hrend der Installation sehen Sie in der Mitte des Displays einen\nFortschrittsbalken, der von links nach rechts l\xE4uft.\n\nNehmen Sie das Display nicht aus der Halterung und trennen Sie\ndie Freisprecheinrichtung nicht von der Stromversorgung.\n\nNach Abschluss des Updates sehen Sie auf dem Display wieder\ndie gewohnte Bedienoberfl\xE4"
    "che.",
    // 17 TXT_SENDING_CONTAINER
    "Die Updatedatei wird jetzt an die Freisprecheinrichtung gesendet.\nDies kann einige Minuten dauern. Bitte warten.",
    // 18 TXT_CONFIRM_CLOSE
    "M\xF6"
    "chten Sie den Aldemar Zubeh\xF6r Update Manager wirklich beenden?",
    // 19 TXT_UPDATE_PROGRESS
    "Updatefortschritt:",
    // 20 TXT_SENDING
    "Der Aldemar Zubeh\xF6r Update Manager sendet Daten an die Freisprecheinrichtung.\nDies kann einige Minuten dauern.\n\nTrennen Sie die Freisprecheinrichtung nicht von der Stromversorgung!",
    // 21 TXT_READING_DEVICE
    "Eine Verbindung mit der Freisprecheinrichtung wurde aufgebaut.\nDeren Daten werden ausgelesen. Bitte warten.",
    // 22 TXT_DOWNLOADING_2
    "Der Aldemar Zubeh\xF6r Update Manager versucht, die neueste Firmware\naus dem Internet zu laden.\nJe nach \xDC"
    "bertragungsrate kann dies einige Minuten dauern.\nBitte warten. ",
    // 23 TXT_UNPACKING
    "Die Updatedateien werden entpackt. Dies kann einige Minuten dauern.\nBitte warten.",
    // 24 TXT_UPDATE_ERROR
    "Fehler beim Updatevorgang. Bitte versuchen Sie es erneut.",
    // 25 TXT_DOWNLOAD_FAILED
    "Das Herunterladen der Firmware ist fehlgeschlagen.",
    // 26 TXT_NO_CONNECTION
    "Es kann keine Verbindung aufgebaut werden.\nBitte pr\xFC"
    "fen Sie, ob der korrekte COM-Port eingestellt und\nam Ger\xE4t der Updatemodus aktiviert ist.\nVersuchen Sie es dann erneut.",
    // 27 TXT_NO_UPDATE_FILE
    "Es wurde keine Updatedatei gefunden.",
    // 28 TXT_CONTAINER_CORRUPT
    "Der Aldemar Zubeh\xF6r Update Manager kann keine geeignete Datei finden\nWahrscheinlich ist die Updatedatei besch\xE4"
    "digt.\nBitte w\xE4hlen Sie die passende Updatedatei aus oder\nladen Sie eine aus dem Internet herunter.",
    // 29 TXT_CONFIRM_STOP_DOWNLOAD
    "M\xF6"
    "chten Sie das Herunterladen wirklich abbrechen?",
    // 30 TXT_NO_UPDATE_FILE_2
    "Es wurde keine Updatedatei ausgew\xE4hlt.",
    // 31 TXT_CANNOT_UNPACK
    "Die Updatedatei kann nicht entpackt werden.",
    // 32 TXT_STEP_START
    "1. Start.",
    // 33 TXT_STEP_CONNECTING
    "3. Verbinden.",
    // 34 TXT_STEP_RECOGNIZING
    "4. Ger\xE4teerkennung.",
    // 35 TXT_STEP_UNPACKING
    "2. Entpacken.",
    // 36 TXT_STEP_TRANSFERRING
    "5. \xDC"
    "bertragung.",
    // 37 TXT_STEP_DISCONNECTING
    "6. Trennung.",
    // 38 TXT_STEP_END
    "7. Ende Update.",
    // 39 TXT_ERR_SUCCESS
    "Erfolg",
    // 40 TXT_ERR_DEVICE_DISCONNECTED
    "Das Ger\xE4t hat die Verbindung mit Ihrem Computer unterbrochen",
    // 41 TXT_ERR_WRONG_ACK
    "Eine falsche R\xFC"
    "ckmeldung wurde vom Ger\xE4t empfangen",
    // 42 TXT_ERR_UNEXPECTED_COMMAND
    "Ein unerwarteter Befehl wurde vom Ger\xE4t empfangen",
    // 43 TXT_ERR_NOT_RESPONDING
    "Das Ger\xE4t antwortet nicht",
    // 44 TXT_ERR_USER_TERMINATED
    "Der Anwender hat die Verbindung unterbrochen",
    // 45 TXT_ERR_NO_UPDATE_DATA
    "Es sind keine Daten f\xFCr das Update vorhanden",
    // 46 TXT_ERR_FILE_OPEN
    "Es ist ein Fehler beim \xD6"
    "ffnen der Datei entstanden",
    // 47 TXT_ERR_CONTAINER_BROKEN
    "Das geeignete Objekt kann nicht gefunden werden. \nDie Updatedatei ist besch\xE4"
    "digt.",
    // 48 TXT_ERR_UNZIP
    "Es ist ein Fehler beim Entpacken der Updatedatei aufgetreten",
    // 49 TXT_ERR_DISK_SPACE
    "Es ist nicht genug Speicherplatz zum Speichern/Entpacken der Datei vorhanden",
    // 50 TXT_ERR_READ_FILE
    "Die Datei kann nicht gelesen werden",
    // 51 TXT_ERR_WRITE_FILE
    "Die Datei kann nicht gespeichert werden",
    // 52 TXT_ERR_INTERNET_OPEN
    "Die Internetverbindung kann nicht genutzt werden",
    // 53 TXT_ERR_INTERNET_READ
    "Die Datei kann vom Internet nicht gelesen werden",
    // 54 TXT_ERR_INTERNET_LINK
    "Der Internetverbindung kann nicht ge\xF6"
    "ffnet werden",
    // 55 TXT_ERR_REQUEST_NOT_SENT
    "Eine Anfrage kann nicht an den Server gesendet werden",
    // 56 TXT_ERR_UNSPECIFIC
    "Unspezifizierter Fehler",
    // 57 TXT_ERR_NO_CONNECTION
    "Die Freisprecheinrichtung antwortet nicht. Es kann keine Verbindung aufgebaut werden.\nBitte pr\xFC"
    "fen Sie, ob der korrekte COM-Port eingestellt\nund am Ger\xE4t der Updatemodus aktiviert ist.\nVersuchen Sie es dann erneut.",
    // 58 TXT_ERR_NO_UPDATE_FOR_DEVICE
    "Die Updatedatei unterst\xFCtzt das Ger\xE4t nicht",
    // 59 TXT_ERR_NO_UPDATE_FOR_HARDWARE
    "Die Updatedatei unterst\xFCtzt die Hardware-Version nicht",
    // 60 TXT_ERR_SAME_VERSION
    "Die selbe Softwareversion. M\xF6"
    "chten Sie fortfahren?",
    // 61 TXT_ERR_XML_PARSE
    "Es ist ein Fehler beim Lesen der XML-Struktur aufgetreten. \nDie Updatedatei ist besch\xE4"
    "digt.",
};

}  // namespace

int LanguageTexts::m_CurrentLanguage = LanguageTexts::LANGUAGE_ENGLISH;
CWnd* LanguageTexts::m_MainDialog = nullptr;
std::vector<CString> LanguageTexts::m_LanguageNames;
std::vector<CString> LanguageTexts::m_EnglishTexts;
std::vector<CString> LanguageTexts::m_GermanTexts;

LanguageTexts::LanguageTexts()
{
    memset(m_StoredName, 0, sizeof(m_StoredName));
}

CString LanguageTexts::GetText(int index) const
{
    return GetTextFor(m_CurrentLanguage, index);
}

CString LanguageTexts::GetTextFor(int language, int index) const
{
    // A negative index converts to a huge one, so at() refuses it as well.
    if (language == LANGUAGE_ENGLISH)
        return m_EnglishTexts.at(static_cast<size_t>(index));
    if (language == LANGUAGE_GERMAN)
        return m_GermanTexts.at(static_cast<size_t>(index));
    return CString("");
}

int LanguageTexts::GetLanguage() const
{
    return m_CurrentLanguage;
}

CString LanguageTexts::GetLanguageName() const
{
    return m_LanguageNames.at(static_cast<size_t>(m_CurrentLanguage));
}

void LanguageTexts::SetLanguage(int language)
{
    m_CurrentLanguage = language;
    if (language == LANGUAGE_GERMAN) {
        m_EnglishTexts.clear();
        m_GermanTexts.clear();
        LoadGermanTexts();
        SetButtonCaptions(LANGUAGE_GERMAN);
    } else if (language == LANGUAGE_ENGLISH) {
        m_GermanTexts.clear();
        m_EnglishTexts.clear();
        LoadEnglishTexts();
        SetButtonCaptions(LANGUAGE_ENGLISH);
    }
}

bool LanguageTexts::SetLanguageByName(const char* name)
{
    if (name == nullptr)
        return false;
    for (size_t i = 0; i < m_LanguageNames.size(); ++i) {
        if (m_LanguageNames[i] == name) {
            SetLanguage(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

void LanguageTexts::SetMainDialog(CWnd* window)
{
    m_MainDialog = window;
}

void LanguageTexts::SetButtonCaptions(int language)
{
    if (m_MainDialog == nullptr)
        return;
    if (language == LANGUAGE_ENGLISH) {
        m_MainDialog->SetDlgItemText(IDC_BACK, "Back");
        m_MainDialog->SetDlgItemText(IDC_NEXT, "Next");
        m_MainDialog->SetDlgItemText(IDC_EXIT, "Exit");
        m_MainDialog->SetDlgItemText(IDC_BROWSE, "Browse");
        m_MainDialog->SetDlgItemText(IDC_SETUP, "Setup");
    } else if (language == LANGUAGE_GERMAN) {
        m_MainDialog->SetDlgItemText(IDC_BACK, "Zur\xFC"
                                               "ck");
        m_MainDialog->SetDlgItemText(IDC_NEXT, "Weiter");
        m_MainDialog->SetDlgItemText(IDC_EXIT, "Abbruch");
        m_MainDialog->SetDlgItemText(IDC_BROWSE, "Browse");
        m_MainDialog->SetDlgItemText(IDC_SETUP, "Setup");
    }
}

void LanguageTexts::SetItemText(CWnd* window, int controlId, CString text)
{
    if (window != nullptr)
        window->SetDlgItemText(controlId, text);
}

void LanguageTexts::LoadLanguageNames()
{
    m_LanguageNames.push_back(CString("English_UK"));
    m_LanguageNames.push_back(CString("Deutsch"));
}

const std::vector<CString>& LanguageTexts::GetLanguageNames()
{
    return m_LanguageNames;
}

void LanguageTexts::LoadEnglishTexts()
{
    for (int i = 0; i < TEXT_COUNT; ++i)
        m_EnglishTexts.push_back(CString(kEnglishTexts[i]));
}

void LanguageTexts::LoadGermanTexts()
{
    for (int i = 0; i < TEXT_COUNT; ++i)
        m_GermanTexts.push_back(CString(kGermanTexts[i]));
}

void LanguageTexts::SaveLanguage()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    // The name of a language outside the list cannot be stored.
    if (m_CurrentLanguage >= 0 && static_cast<size_t>(m_CurrentLanguage) < m_LanguageNames.size()) {
        const CString& name = m_LanguageNames[static_cast<size_t>(m_CurrentLanguage)];
        RegSetValueExA(key, kLanguageValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(name.GetString()),
                       static_cast<DWORD>(name.GetLength() + 1));
    }
    RegCloseKey(key);
}

bool LanguageTexts::LoadLanguage()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = sizeof(m_StoredName);
    if (RegQueryValueExA(key, kLanguageValue, nullptr, &type, reinterpret_cast<LPBYTE>(m_StoredName), &size) !=
        ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    // The name ends at its first NUL; a value stored without one is all name.
    if (size > sizeof(m_StoredName))
        size = sizeof(m_StoredName);
    const void* nul = memchr(m_StoredName, '\0', size);
    int length = nul ? static_cast<int>(static_cast<const char*>(nul) - m_StoredName) : static_cast<int>(size);
    CString name(m_StoredName, length);
    bool found = SetLanguageByName(name);
    RegCloseKey(key);
    return found;
}

// The UI texts: the stored language, the switch by name, and the captions set
// on the wizard's buttons.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "platform/registry/Registry.h"
#include "platform/base/WinGeometry.h"
#include "platform/window/CWnd.h"
#include "platform/window/Controls.h"
#include "resources/resource.h"
#include "texts/LanguageTexts.h"

namespace {

const char kKey[] = "Software\\ZQUpdateManager\\Settings";

// A window with the five navigation buttons of the wizard window.
class ButtonWindow {
public:
    ButtonWindow()
    {
        EXPECT_TRUE(m_window.CreateEx(0, "TextsTestWindow", "Texts", 0, CRect(0, 0, 400, 100), nullptr, 0));
        const int ids[] = {IDC_BACK, IDC_NEXT, IDC_EXIT, IDC_SETUP, IDC_BROWSE};
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE(m_buttons[i].Create("-", WS_VISIBLE | BS_PUSHBUTTON, CRect(i * 60, 0, i * 60 + 50, 20),
                                            &m_window, ids[i]));
    }
    ~ButtonWindow()
    {
        for (CButton& button : m_buttons)
            button.DestroyWindow();
        m_window.DestroyWindow();
    }
    CWnd* Window() { return &m_window; }
    std::string Caption(int id)
    {
        CString text;
        m_window.GetDlgItemText(id, text);
        return text.GetString();
    }
    // All five captions, in the order back, next, exit, browse, setup.
    std::string Captions()
    {
        return Caption(IDC_BACK) + "|" + Caption(IDC_NEXT) + "|" + Caption(IDC_EXIT) + "|" + Caption(IDC_BROWSE) + "|" +
               Caption(IDC_SETUP);
    }
    void Blank()
    {
        for (int id : {IDC_BACK, IDC_NEXT, IDC_EXIT, IDC_BROWSE, IDC_SETUP})
            m_window.SetDlgItemText(id, "-");
    }

private:
    CWnd m_window;
    CButton m_buttons[5];
};

const char kGermanCaptions[] = "Zur\xFC"
                               "ck|Weiter|Abbruch|Browse|Setup";
const char kEnglishCaptions[] = "Back|Next|Exit|Browse|Setup";
const char kBlankCaptions[] = "-|-|-|-|-";

class Texts : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteStoredLanguage();
        m_texts.SetMainDialog(nullptr);
        m_texts.LoadLanguageNames();
        m_texts.SetLanguage(LanguageTexts::LANGUAGE_ENGLISH);
    }

    static void StoreRaw(DWORD type, const std::string& bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "Language", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // The stored value's bytes, or "<none>".
    static std::string Stored(DWORD* type = nullptr)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return "<no key>";
        char data[512];
        DWORD size = sizeof(data);
        DWORD valueType = 0;
        LSTATUS status = RegQueryValueExA(key, "Language", nullptr, &valueType, reinterpret_cast<LPBYTE>(data), &size);
        RegCloseKey(key);
        if (type)
            *type = valueType;
        return status == ERROR_SUCCESS ? std::string(data, size) : "<none>";
    }

    static void DeleteStoredLanguage()
    {
        const char* config = getenv("XDG_CONFIG_HOME");
        remove((std::string(config) + "/zqupdatemanager/user.reg").c_str());
    }

    LanguageTexts m_texts;
};

TEST_F(Texts, FirstStartCreatesTheKeyAndFallsBackToGerman)
{
    ButtonWindow window;
    m_texts.SetMainDialog(window.Window());
    EXPECT_EQ(Stored(), "<no key>");
    EXPECT_FALSE(m_texts.LoadLanguage());
    EXPECT_EQ(Stored(), "<none>");  // the key exists now, empty
    m_texts.SetLanguage(LanguageTexts::LANGUAGE_GERMAN);
    EXPECT_EQ(m_texts.GetText(TXT_WELCOME_TITLE), "Willkommen beim Aldemar Zubeh\xF6r Update Manager");
    EXPECT_EQ(window.Captions(), kGermanCaptions);
    EXPECT_EQ(Stored(), "<none>");  // nothing written until a language is chosen

    m_texts.SetLanguage(LanguageTexts::LANGUAGE_ENGLISH);
    EXPECT_EQ(window.Captions(), kEnglishCaptions);
}

TEST_F(Texts, SaveStoresTheNameWithItsNul)
{
    m_texts.SetLanguage(LanguageTexts::LANGUAGE_ENGLISH);
    m_texts.SaveLanguage();
    DWORD type = 0;
    EXPECT_EQ(Stored(&type), std::string("English_UK\0", 11));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    m_texts.SetLanguage(LanguageTexts::LANGUAGE_GERMAN);
    m_texts.SaveLanguage();
    EXPECT_EQ(Stored(), std::string("Deutsch\0", 8));

    // And it comes back at the next start.
    m_texts.SetLanguage(LanguageTexts::LANGUAGE_ENGLISH);
    EXPECT_TRUE(m_texts.LoadLanguage());
    EXPECT_EQ(m_texts.GetLanguage(), LanguageTexts::LANGUAGE_GERMAN);
    EXPECT_EQ(m_texts.GetLanguageName(), "Deutsch");
}

TEST_F(Texts, StoredNamesThatAreRecognisedOrNot)
{
    struct Case {
        std::string bytes;
        DWORD type;
        bool recognised;
        int language;
    } cases[] = {
        {std::string("Deutsch", 7), REG_SZ, true, 1},  // without NUL
        {std::string("English_UK\0", 11), REG_SZ, true, 0},
        {std::string("English_UK\0junk", 15), REG_BINARY, true, 0},  // any type, up to the first NUL
        {std::string("english_uk\0", 11), REG_SZ, false, 0},
        {std::string("Deutsch \0", 9), REG_SZ, false, 0},
        {std::string("", 0), REG_SZ, false, 0},
        {std::string(255, 'x'), REG_SZ, false, 0},  // fills the buffer, no NUL
        {std::string(256, 'x'), REG_SZ, false, 0},  // does not fit
    };
    for (const Case& c : cases) {
        m_texts.SetLanguage(LanguageTexts::LANGUAGE_ENGLISH);
        StoreRaw(c.type, c.bytes);
        EXPECT_EQ(m_texts.LoadLanguage(), c.recognised) << c.bytes;
        EXPECT_EQ(m_texts.GetLanguage(), c.language) << c.bytes;
    }
}

TEST_F(Texts, EachLanguageHoldsExactly62Texts)
{
    ButtonWindow window;
    m_texts.SetMainDialog(window.Window());
    for (int language : {0, 1}) {
        m_texts.SetLanguage(language);
        window.Blank();
        m_texts.SetLanguage(language);  // the same language again: captions set again
        EXPECT_EQ(window.Captions(), language == 0 ? kEnglishCaptions : kGermanCaptions);
        EXPECT_FALSE(m_texts.GetText(61).IsEmpty());
        EXPECT_THROW(m_texts.GetText(62), std::out_of_range);
        EXPECT_THROW(m_texts.GetText(-1), std::out_of_range);
        EXPECT_THROW(m_texts.GetTextFor(1 - language, 0), std::out_of_range);  // the other list is empty
        for (int i = 0; i < LanguageTexts::TEXT_COUNT; ++i)
            EXPECT_FALSE(m_texts.GetText(i).IsEmpty()) << language << " " << i;
    }
    EXPECT_EQ(m_texts.GetTextFor(2, 0), "");
    EXPECT_EQ(m_texts.GetTextFor(-1, 5), "");
}

TEST_F(Texts, SwitchingByName)
{
    ButtonWindow window;
    m_texts.SetLanguage(LanguageTexts::LANGUAGE_GERMAN);
    m_texts.SetMainDialog(window.Window());
    EXPECT_FALSE(m_texts.SetLanguageByName("English"));
    EXPECT_FALSE(m_texts.SetLanguageByName(nullptr));
    EXPECT_EQ(m_texts.GetLanguage(), 1);
    EXPECT_EQ(window.Captions(), kBlankCaptions);  // nothing changed
    EXPECT_EQ(m_texts.GetText(TXT_STEP_END), "7. Ende Update.");
    EXPECT_TRUE(m_texts.SetLanguageByName("English_UK"));
    EXPECT_EQ(m_texts.GetText(TXT_STEP_END), "7. End Of Update.");
    EXPECT_EQ(window.Captions(), kEnglishCaptions);
}

TEST_F(Texts, LanguageNamesInIndexOrder)
{
    const std::vector<CString>& names = LanguageTexts::GetLanguageNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], "English_UK");
    EXPECT_EQ(names[1], "Deutsch");
}

TEST_F(Texts, SwitchWithoutWindowSetsNoCaptions)
{
    ButtonWindow window;  // exists, but is not registered
    m_texts.SetLanguage(LanguageTexts::LANGUAGE_GERMAN);
    EXPECT_EQ(window.Captions(), kBlankCaptions);
    EXPECT_EQ(m_texts.GetText(TXT_STEP_TRANSFERRING), "5. \xDC"
                                                      "bertragung.");
}

TEST_F(Texts, SetItemTextOnAGivenWindow)
{
    ButtonWindow window;
    m_texts.SetItemText(nullptr, IDC_NEXT, "ignored");
    m_texts.SetItemText(window.Window(), IDC_NEXT, "Bitte w\xE4hlen");
    EXPECT_EQ(window.Caption(IDC_NEXT), "Bitte w\xE4hlen");
}

TEST_F(Texts, CatalogueContents)
{
    struct Case {
        int language;
        int index;
        const char* text;
    } cases[] = {
        {0, TXT_WELCOME_FOOTER, "Click on <Next> to go on."},
        {1, TXT_WELCOME_FOOTER, "Klicken Sie auf <Weiter> um fortzufahren."},
        {0, TXT_DOWNLOADING,
         "The Aldemar Accessories Update Manager is trying to download latest firmware from "
         "the internet.\nDepending on bit rate this can take a few minutes.\nPlease wait. "},
        {1, TXT_CONFIRM_CLOSE,
         "M\xF6"
         "chten Sie den Aldemar Zubeh\xF6r Update Manager wirklich beenden?"},
        {1, TXT_ERR_FILE_OPEN,
         "Es ist ein Fehler beim \xD6"
         "ffnen der Datei entstanden"},
        {1, TXT_STEP_RECOGNIZING, "4. Ger\xE4teerkennung."},
        {1, TXT_STEP_START, "1. Start."},
        {0, TXT_ERR_CONTAINER_BROKEN, "Can not find proper object. \nThe Update container is broken."},
        {1, TXT_CONTAINER_CORRUPT,
         "Der Aldemar Zubeh\xF6r Update Manager kann keine geeignete Datei finden\n"
         "Wahrscheinlich ist die Updatedatei besch\xE4"
         "digt.\nBitte w\xE4hlen Sie "
         "die passende Updatedatei aus oder\nladen Sie eine aus dem Internet herunter."},
        {1, TXT_ERR_XML_PARSE,
         "Es ist ein Fehler beim Lesen der XML-Struktur aufgetreten. \n"
         "Die Updatedatei ist besch\xE4"
         "digt."},
    };
    for (const Case& c : cases) {
        m_texts.SetLanguage(c.language);
        EXPECT_EQ(m_texts.GetText(c.index), c.text) << c.language << " " << c.index;
    }

    // The German page bodies name the buttons as the German window does.
    m_texts.SetLanguage(LanguageTexts::LANGUAGE_GERMAN);
    for (int i = 0; i < LanguageTexts::TEXT_COUNT; ++i)
        EXPECT_EQ(m_texts.GetText(i).Find("<Next>"), -1) << i;
    for (int i : {TXT_WELCOME_FOOTER, TXT_SELECT_CONTAINER, TXT_BLUETOOTH_HELP, TXT_SELECT_PORT})
        EXPECT_NE(m_texts.GetText(i).Find("<Weiter>"), -1) << i;
    EXPECT_NE(m_texts.GetText(TXT_SELECT_CONTAINER).Find("<Browse>"), -1);
    EXPECT_NE(m_texts.GetText(TXT_BLUETOOTH_HELP).Find("6392"), -1);
}

}  // namespace

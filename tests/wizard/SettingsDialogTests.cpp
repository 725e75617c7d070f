// The settings dialog and the about box, run modally on the headless window
// system.
#include <gtest/gtest.h>

#include <string>

#include "platform/window/Headless.h"
#include "resources/resource.h"
#include "tests/wizard/WizardTestSupport.h"
#include "texts/LanguageTexts.h"
#include "wizard/CAboutDlg.h"
#include "wizard/InterfaceSettings.h"

namespace {

using zqtest::RunModal;

std::string ItemText(CWnd& dialog, int id)
{
    CString text;
    dialog.GetDlgItem(id)->GetWindowText(text);
    return std::string(static_cast<LPCSTR>(text));
}

void Click(CWnd& dialog, int id)
{
    dialog.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(dialog.GetDlgItem(id)->GetSafeHwnd()));
}

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        static bool namesLoaded = false;
        if (!namesLoaded) {
            m_texts.LoadLanguageNames();
            namesLoaded = true;
        }
        m_texts.SetLanguage(LanguageTexts::LANGUAGE_GERMAN);
    }

    zqtest::PrivateRegistry m_registry;
    LanguageTexts m_texts;
};

TEST_F(SettingsDialog, OpensInTheCurrentLanguage)
{
    InterfaceSettings settings;
    RunModal(settings, [&] {
        EXPECT_EQ(ItemText(settings, IDC_LANGUAGE_LABEL), "Bitte w\xE4hlen Sie eine Sprache aus:");
        EXPECT_EQ(ItemText(settings, IDC_FORCE_UPDATE), "Software\xFC"
                                                        "berpr\xFC"
                                                        "fung beim Update ausschalten");
        EXPECT_EQ(ItemText(settings, IDOK), "OK");
        EXPECT_EQ(ItemText(settings, IDCANCEL), "Abbrechen");
        EXPECT_EQ(ItemText(settings, IDC_LANGUAGE_COMBO), "Deutsch");
        char first[64] = {};
        settings.GetDlgItem(IDC_LANGUAGE_COMBO)->SendMessage(CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
        EXPECT_STREQ(first, "Deutsch") << "the sorted box lists Deutsch first";
    });
}

TEST_F(SettingsDialog, OkSwitchesAndStoresTheLanguage)
{
    InterfaceSettings settings;
    INT_PTR result = RunModal(
        settings,
        [&] {
            settings.GetDlgItem(IDC_LANGUAGE_COMBO)->SetWindowText("English_UK");
            Click(settings, IDOK);
        },
        -1);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(m_texts.GetLanguage(), LanguageTexts::LANGUAGE_ENGLISH);
    EXPECT_EQ(zqtest::ReadSetting("Language"), "English_UK");
}

TEST_F(SettingsDialog, AnUnknownNameChangesNothingButIsStoredAgain)
{
    InterfaceSettings settings;
    RunModal(
        settings,
        [&] {
            settings.GetDlgItem(IDC_LANGUAGE_COMBO)->SetWindowText("english_uk");
            Click(settings, IDOK);
        },
        -1);
    EXPECT_EQ(m_texts.GetLanguage(), LanguageTexts::LANGUAGE_GERMAN);
    EXPECT_EQ(zqtest::ReadSetting("Language"), "Deutsch");
}

TEST_F(SettingsDialog, ForceUpdateFollowsTheCheckBoxOnlyOnOk)
{
    InterfaceSettings settings;
    RunModal(
        settings,
        [&] {
            settings.m_forceUpdateCheck.SetCheck(BST_CHECKED);
            Click(settings, IDCANCEL);
        },
        -1);
    EXPECT_EQ(settings.m_forceUpdate, 0);
    RunModal(
        settings,
        [&] {
            settings.m_forceUpdateCheck.SetCheck(BST_CHECKED);
            Click(settings, IDOK);
        },
        -1);
    EXPECT_EQ(settings.m_forceUpdate, 1);
    RunModal(settings, [&] { EXPECT_EQ(settings.m_forceUpdateCheck.GetCheck(), BST_CHECKED); });
}

TEST(AboutBox, OkEscapeAndCloseEndIt)
{
    {
        CAboutDlg about;
        EXPECT_EQ(RunModal(
                      about, [&] { Click(about, IDOK); }, -1),
                  IDOK);
    }
    {
        CAboutDlg about;
        // What Escape sends to a dialog.
        EXPECT_EQ(RunModal(
                      about, [&] { about.SendMessage(WM_COMMAND, IDCANCEL, 0); }, -1),
                  IDCANCEL);
    }
    {
        CAboutDlg about;
        EXPECT_EQ(RunModal(
                      about, [&] { about.SendMessage(WM_CLOSE, 0, 0); }, -1),
                  IDCANCEL);
    }
}

}  // namespace

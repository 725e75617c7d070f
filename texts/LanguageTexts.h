// The UI text catalogue: 62 texts in English and in German, the current
// language, the language switch with the captions of the registered window's
// navigation buttons, and the language stored per user in the registry.
//
// The catalogue's state belongs to the class: every object answers from the
// same texts and language, so objects are copied freely.
#pragma once

#include <vector>

#include "platform/strings/CString.h"
#include "texts/TextIds.h"

class CWnd;

class LanguageTexts {
public:
    enum { TEXT_COUNT = 62 };
    enum { LANGUAGE_ENGLISH = 0, LANGUAGE_GERMAN = 1 };

    LanguageTexts();

    // Text index of the current language; an index beyond the list raises
    // std::out_of_range.
    CString GetText(int index) const;
    // Language 0 English, 1 German; any other language gives "".
    CString GetTextFor(int language, int index) const;
    int GetLanguage() const;
    CString GetLanguageName() const;

    void SetLanguage(int language);
    bool SetLanguageByName(const char* name);

    void SetMainDialog(CWnd* window);
    void SetButtonCaptions(int language);
    void SetItemText(CWnd* window, int controlId, CString text);

    void LoadLanguageNames();
    // The language names in index order, as LoadLanguageNames appended them
    // (the settings dialog lists them).
    static const std::vector<CString>& GetLanguageNames();
    void LoadEnglishTexts();
    void LoadGermanTexts();

    void SaveLanguage();
    bool LoadLanguage();

private:
    static int m_CurrentLanguage;
    static CWnd* m_MainDialog;
    static std::vector<CString> m_LanguageNames;
    static std::vector<CString> m_EnglishTexts;
    static std::vector<CString> m_GermanTexts;

    enum { STORED_NAME_SIZE = 255 };
    char m_StoredName[STORED_NAME_SIZE];
};

// CString and the Windows-1252 / UTF-8 conversion.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "platform/strings/CString.h"
#include "platform/strings/Codepage.h"

TEST(CString, FormatsLongAndShortOutput)
{
    CString s;
    s.Format("COM%d", 7);
    EXPECT_EQ(s, "COM7");
    CString big;
    big.Format("%s\\%s", std::string(300, 'a').c_str(), "libexpat.dll");
    EXPECT_EQ(big.GetLength(), 313);
    EXPECT_EQ(big.Right(13), "\\libexpat.dll");
    big.AppendFormat("%c", '!');
    EXPECT_EQ(big.Right(1), "!");

    // Around 256 characters, where output stops fitting a small buffer; each
    // length alone and appended to text already there.
    for (int length : {0, 1, 255, 256, 257}) {
        std::string text;
        for (int i = 0; i < length; ++i)
            text += static_cast<char>('a' + i % 26);
        CString formatted;
        formatted.Format("%s", text.c_str());
        EXPECT_EQ(std::string(formatted.GetString(), formatted.GetLength()), text) << length << " characters";
        CString appended("head:");
        appended.AppendFormat("%s", text.c_str());
        EXPECT_EQ(std::string(appended.GetString(), appended.GetLength()), "head:" + text)
            << length << " characters appended";
    }
}

TEST(CString, FindAndSliceClampLikeTheFramework)
{
    CString path("Z:\\home\\me\\prog");
    int slash = path.ReverseFind('\\');
    EXPECT_EQ(slash, 10);
    EXPECT_EQ(path.Left(slash), "Z:\\home\\me");
    EXPECT_EQ(path.Mid(slash + 1), "prog");
    EXPECT_EQ(path.Left(100), path);
    EXPECT_EQ(path.Left(-1), "");
    EXPECT_EQ(path.Mid(50), "");
    EXPECT_EQ(path.Mid(2, 100), "\\home\\me\\prog");
    EXPECT_EQ(path.Find('x'), -1);
    EXPECT_EQ(path.Find("me"), 5);
    EXPECT_EQ(path.Find("me", 6), 8);
    EXPECT_EQ(CString("none").ReverseFind('\\'), -1);
    EXPECT_THROW(path.GetAt(path.GetLength()), std::out_of_range);
}

TEST(CString, ComparesBytesCaseSensitively)
{
    EXPECT_NE(CString("Deutsch"), "deutsch");
    EXPECT_EQ(CString("Deutsch").CompareNoCase("DEUTSCH"), 0);
    EXPECT_LT(CString("a").Compare("\xE4"), 0);  // bytes compare unsigned
    EXPECT_TRUE(CString(nullptr).IsEmpty());
}

TEST(CString, BufferRoundTrip)
{
    CString s;
    char* buf = s.GetBuffer(255);
    memcpy(buf, "Deutsch\0junk", 12);
    s.ReleaseBuffer();
    EXPECT_EQ(s, "Deutsch");
    EXPECT_EQ(s.GetLength(), 7);
}

TEST(Codepage, GermanLettersRoundTrip)
{
    const std::string cp = "Zur\xFC"
                           "ck \xC4\xD6\xDC\xE4\xF6\xFC\xDF \x80";
    const std::string utf8 = zq::Cp1252ToUtf8(cp);
    EXPECT_EQ(utf8, "Zur\xC3\xBC"
                    "ck \xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F \xE2\x82\xAC");
    EXPECT_EQ(zq::Utf8ToCp1252(utf8), cp);
}

TEST(Codepage, UnmappableAndBrokenUtf8BecomeQuestionMarks)
{
    EXPECT_EQ(zq::Utf8ToCp1252("a\xE6\x97\xA5z"), "a?z");      // CJK letter
    EXPECT_EQ(zq::Utf8ToCp1252("a\xF0\x9F\x98\x80z"), "a?z");  // emoji
    EXPECT_EQ(zq::Utf8ToCp1252("a\xC3"), "a?");                // cut off
    EXPECT_EQ(zq::Utf8ToCp1252("\xFFx"), "?x");
    EXPECT_EQ(zq::Utf8ToCp1252("\xC0\xAF"), "??");  // overlong
}

// Windows compares file, registry and environment names with the code page's
// own capitals: the accented letters and the four pairs above 0x80 that are
// not at a distance of 0x20, but not the signs and letters without a capital.
TEST(Codepage, FoldsTheCasePairsOfWindows1252)
{
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"readme.TXT", "README.txt", true},
        {"\xE4", "\xC4", true},   // a diaeresis
        {"\xFE", "\xDE", true},   // thorn
        {"\xE0", "\xC0", true},   // a grave
        {"\x9A", "\x8A", true},   // s caron
        {"\x9C", "\x8C", true},   // oe
        {"\x9E", "\x8E", true},   // z caron
        {"\xFF", "\x9F", true},   // y diaeresis
        {"\xF7", "\xD7", false},  // division and multiplication signs
        {"\xDF", "\xBF", false},  // sharp s has no capital here
        {"\xB5", "\x95", false},  // micro sign, bullet
        {"\x9A", "\x7A", false},  // s caron is no s
        {"[", "{", false},        // 0x20 apart but no letters
        {"@", "`", false},
        {"ab", "abc", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zq::EqualNoCaseCp1252(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(zq::EqualNoCaseCp1252(c.b, c.a), c.same) << c.b << " / " << c.a;
    }
}

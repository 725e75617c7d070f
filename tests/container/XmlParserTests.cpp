// The XML layer over the real expat: depth limits, deep documents, tag paths,
// attributes, faulty documents, text and Windows-1252.
#include <gtest/gtest.h>

#include <string>

#include "container/UPDATEXMLParser.h"
#include "tests/container/ContainerFixture.h"

namespace {

using zqtest::WinPath;

CString ProgramFolder()
{
    CString path = zqtest::RealProgramPath();
    return path.Left(path.ReverseFind('\\'));
}

class XmlParser : public ::testing::Test {
protected:
    void SetUp() override { UPDATEXMLParser::SetDllFolder(ProgramFolder()); }
    void TearDown() override { UPDATEXMLParser::SetDllFolder(nullptr); }

    CString Write(const std::string& xml, const std::string& name = "doc.xml")
    {
        m_folder.Write(name, xml);
        return WinPath(m_folder.Linux(name));
    }

    // The message of the exception that constructing a document throws, or
    // "" when none is thrown.
    std::string ConstructError(const char* fileName)
    {
        try {
            UPDATEXMLParser document(fileName);
        } catch (UPDATEXMLParserException* e) {
            std::string message = e->m_Message;
            delete e;
            return message;
        }
        return "";
    }

    zqtest::TempFolder m_folder;
};

// The tags of a subtree, for compact comparisons: "a(b,c(d))".
std::string Shape(const UPDATEXMLNode& node)
{
    std::string out = node.m_Tag.GetString();
    if (!node.m_Children.empty()) {
        out += "(";
        for (size_t i = 0; i < node.m_Children.size(); ++i)
            out += (i ? "," : "") + Shape(node.m_Children[i]);
        out += ")";
    }
    return out;
}

std::string Shape(const std::vector<UPDATEXMLNode>& roots)
{
    std::string out;
    for (size_t i = 0; i < roots.size(); ++i)
        out += (i ? " " : "") + Shape(roots[i]);
    return out;
}

// Elements l1..l<n> nested inside each other.
std::string Nest(int from, int to, const std::string& inner = "")
{
    if (from > to)
        return inner;
    std::string tag = "l" + std::to_string(from);
    return "<" + tag + ">" + Nest(from + 1, to, inner) + "</" + tag + ">";
}

TEST_F(XmlParser, DepthLimitDropsDeepElementsAndKeepsLaterOnesUnderTheirParents)
{
    // Levels 1 to 12 below the root, then a sibling on level 10 and one on
    // level 1. Level 11 and everything inside it is dropped.
    std::string xml = "<root><l1><l2><l3><l4><l5><l6><l7><l8><l9>"
                      "<l10>" +
                      Nest(11, 12) + "</l10><s10/></l9></l8></l7></l6></l5></l4></l3></l2></l1><s1/></root>";
    UPDATEXMLParser document(Write(xml));
    std::vector<UPDATEXMLNode>& roots = document.Parse("root", 0, 10);
    EXPECT_EQ(Shape(roots), "root(l1(l2(l3(l4(l5(l6(l7(l8(l9(l10,s10))))))))),s1)");

    // maxDepth 0: only the filter elements; negative: every level.
    EXPECT_EQ(Shape(document.Parse("root", 0, 0)), "root");
    EXPECT_EQ(Shape(document.Parse("root", 0, -1)), "root(l1(l2(l3(l4(l5(l6(l7(l8(l9(l10(l11(l12)),s10))))))))),s1)");
}

TEST_F(XmlParser, DeepNestingFarBeyondTheLimitIsBounded)
{
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<x a='1'>";
    for (int i = 0; i < 5000; ++i)
        deep += "</x>";
    UPDATEXMLParser document(Write("<root>" + deep + "<after/></root>"));
    std::vector<UPDATEXMLNode>& roots = document.Parse("root", 0, 10);
    ASSERT_EQ(roots.size(), 1u);
    ASSERT_EQ(roots[0].m_Children.size(), 2u);
    EXPECT_EQ(roots[0].m_Children[1].m_Tag, "after");
    // Ten levels of x stored below the root, nothing deeper.
    const UPDATEXMLNode* node = &roots[0].m_Children[0];
    int levels = 1;
    while (!node->m_Children.empty()) {
        node = &node->m_Children[0];
        ++levels;
    }
    EXPECT_EQ(levels, 10);
}

TEST_F(XmlParser, EveryLevelOfAVeryDeepDocumentIsStoredAndReleased)
{
    // No depth limit: each level is stored under the one above, the text of
    // the innermost element lands there, a later sibling goes under the
    // root, and the tree goes without exhausting the stack.
    const int levels = 300000;
    std::string xml = "<root>";
    for (int i = 0; i < levels; ++i)
        xml += "<x>";
    xml += "deep";
    for (int i = 0; i < levels; ++i)
        xml += "</x>";
    xml += "<after/>tail</root>";
    {
        UPDATEXMLParser document(Write(xml));
        std::vector<UPDATEXMLNode>& roots = document.Parse("root", 1, -1);
        ASSERT_EQ(roots.size(), 1u);
        ASSERT_EQ(roots[0].m_Children.size(), 2u);
        EXPECT_EQ(roots[0].m_Children[1].m_Tag, "after");
        EXPECT_EQ(roots[0].m_Text, "tail");
        const UPDATEXMLNode* node = &roots[0].m_Children[0];
        int stored = 1;
        while (node->m_Children.size() == 1) {
            node = &node->m_Children[0];
            ++stored;
        }
        EXPECT_EQ(stored, levels);
        EXPECT_TRUE(node->m_Children.empty());
        EXPECT_EQ(node->m_Text, "deep");
        // A copy of the whole deep subtree goes as well.
        UPDATEXMLNode copy = roots[0];
        EXPECT_EQ(copy.m_Children.size(), 2u);
    }
    // With the readers' limit the same document keeps ten levels.
    UPDATEXMLParser document(Write(xml));
    const UPDATEXMLNode* node = &document.Parse("root", 0, 10)[0];
    int stored = 0;
    while (!node->m_Children.empty()) {
        node = &node->m_Children[0];
        ++stored;
    }
    EXPECT_EQ(stored, 10);
}

TEST_F(XmlParser, Utf8FromExpatReachesTheSystemAsWindows1252)
{
    // Names, values and text. Characters of Windows-1252 take their byte
    // there (also the ones of 0x80 to 0x9F), others become one '?' each.
    UPDATEXMLParser utf8(Write("<r\xC3\xA4 disp_name='Zubeh\xC3\xB6r' n='\xE6\x97\xA5\xE6\x9C\xAC.xml'"
                               " e='\xE2\x82\xAC \xE2\x80\x9A \xC5\xBD' s='\xF0\x9F\x98\x80!'"
                               " m\xC3\xBC='&#xFC;&#x20AC;&#x3A9;'>gr\xC3\xBC\xC3\x9F</r\xC3\xA4>"));
    std::vector<UPDATEXMLNode>& roots = utf8.Parse("r\xE4", 1, 10);
    ASSERT_EQ(roots.size(), 1u);
    const UPDATEXMLNode& r = roots[0];
    EXPECT_EQ(r.m_Tag, "r\xE4");
    ASSERT_EQ(r.m_Attributes.size(), 5u);
    EXPECT_EQ(r.m_Attributes[0].m_Value, "Zubeh\xF6r");
    EXPECT_EQ(r.m_Attributes[1].m_Value, "??.xml");
    EXPECT_EQ(r.m_Attributes[2].m_Value, "\x80 \x82 \x8E");
    EXPECT_EQ(r.m_Attributes[3].m_Value, "?!");
    EXPECT_EQ(r.m_Attributes[4].m_Name, "m\xFC");
    EXPECT_EQ(r.m_Attributes[4].m_Value, "\xFC\x80?");
    EXPECT_EQ(r.m_Text, "gr\xFC\xDF");

    // A document in ISO-8859-1 reaches the system with its own bytes.
    UPDATEXMLParser latin1(Write("<?xml version='1.0' encoding='ISO-8859-1'?><r v='Zubeh\xF6r \xE4'/>"));
    ASSERT_EQ(latin1.Parse("r", 0, 10).size(), 1u);
    EXPECT_EQ(latin1.GetRoots()[0].m_Attributes[0].m_Value, "Zubeh\xF6r \xE4");
}

TEST_F(XmlParser, FilterPathSelectsRootsAndLaterElementsBecomeRoots)
{
    UPDATEXMLParser document(
        Write("<update><pre/><device n='1'><hardware/></device><device n='2'/><files><common/></files></update>"));
    // Elements before the first match are ignored; after it has ended every
    // later element is collected as a further root.
    EXPECT_EQ(Shape(document.Parse("update%device", 0, 10)), "device(hardware) device files(common)");
    // Parsing again with the same tag gives the same tree; another tag its subtree.
    EXPECT_EQ(Shape(document.Parse("update%device", 0, 10)), "device(hardware) device files(common)");
    EXPECT_EQ(Shape(document.Parse("update", 0, 10)), "update(pre,device(hardware),device,files(common))");
    EXPECT_TRUE(document.Parse("nothing", 0, 10).empty());
}

TEST_F(XmlParser, AttributesInDocumentOrder)
{
    UPDATEXMLParser document(Write("<r><e z='1' a='' m=\"x&amp;y\"/><f/></r>"));
    std::vector<UPDATEXMLNode>& roots = document.Parse("r", 0, 10);
    ASSERT_EQ(roots.size(), 1u);
    const UPDATEXMLNode& e = roots[0].m_Children[0];
    ASSERT_EQ(e.m_Attributes.size(), 3u);
    EXPECT_EQ(e.m_Attributes[0].m_Name, "z");
    EXPECT_EQ(e.m_Attributes[0].m_Value, "1");
    EXPECT_EQ(e.m_Attributes[1].m_Name, "a");
    EXPECT_EQ(e.m_Attributes[1].m_Value, "");
    EXPECT_EQ(e.m_Attributes[2].m_Value, "x&y");
    EXPECT_TRUE(roots[0].m_Children[1].m_Attributes.empty());
    EXPECT_TRUE(e.m_Text.IsEmpty());
}

TEST_F(XmlParser, NotWellFormedDocumentsGiveWhatCameBeforeTheFault)
{
    struct Case {
        const char* xml;
        const char* shape;
    } cases[] = {
        {"<r><a/><b x='1'><c/><d", "r(a,b(c))"},                 // cut off inside a start tag
        {"<r><a/><b>text", "r(a,b)"},                            // cut off inside an element
        {"<r><a/></x><b/></r>", "r(a)"},                         // mismatched end tag
        {"", ""},                                                // empty file
        {"just text", ""},                                       // no element at all
        {"<?xml version='1.0' encoding='X-UNKNOWN'?><r/>", ""},  // refused encoding
        {"<other><r/></other>", ""},                             // another document element
    };
    for (const Case& c : cases) {
        UPDATEXMLParser document(Write(c.xml));
        EXPECT_EQ(Shape(document.Parse("r", 0, 10)), c.shape) << c.xml;
    }
}

TEST_F(XmlParser, TextIsCollectedOnlyWhenAskedFor)
{
    UPDATEXMLParser document(Write("<r>a&amp;b\r\nc<e>x</e>\r</r>"));
    std::vector<UPDATEXMLNode>& roots = document.Parse("r", 1, 10);
    ASSERT_EQ(roots.size(), 1u);
    // expat hands the text over in pieces and turns CR LF and a lone CR into
    // LF; the pieces are joined in order.
    EXPECT_EQ(roots[0].m_Text, "a&b\nc\n");
    EXPECT_EQ(roots[0].m_Children[0].m_Text, "x");
    EXPECT_TRUE(document.Parse("r", 0, 10)[0].m_Text.IsEmpty());
}

TEST_F(XmlParser, HugeAttributeValueIsStoredWhole)
{
    std::string value(1 << 20, 'v');
    UPDATEXMLParser document(Write("<r a='" + value + "'/>"));
    std::vector<UPDATEXMLNode>& roots = document.Parse("r", 0, 10);
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(roots[0].m_Attributes[0].m_Value.GetLength(), 1 << 20);
}

TEST_F(XmlParser, LibraryIsLoadedOnceAndReleasedWithTheLastDocument)
{
    ASSERT_EQ(UPDATEXMLParser::m_InstanceCount, 0);
    ASSERT_EQ(UPDATEXMLParser::m_hExpat, nullptr);
    CString file = Write("<r/>");
    {
        UPDATEXMLParser first(file);
        HMODULE loaded = UPDATEXMLParser::m_hExpat;
        EXPECT_NE(loaded, nullptr);
        {
            UPDATEXMLParser second(file);
            EXPECT_EQ(UPDATEXMLParser::m_hExpat, loaded);
            EXPECT_EQ(UPDATEXMLParser::m_InstanceCount, 2);
        }
        EXPECT_EQ(UPDATEXMLParser::m_hExpat, loaded);
        EXPECT_EQ(Shape(first.Parse("r", 0, 10)), "r");
    }
    EXPECT_EQ(UPDATEXMLParser::m_InstanceCount, 0);
    EXPECT_EQ(UPDATEXMLParser::m_hExpat, nullptr);
}

TEST_F(XmlParser, FailuresThrowTheirMessagesAndLeaveTheCountAsItWas)
{
    EXPECT_EQ(ConstructError(nullptr), "NULL file name pointer");
    EXPECT_EQ(ConstructError(WinPath(m_folder.Linux("missing.xml"))), "Error while opening XML file");
    EXPECT_EQ(ConstructError(WinPath(m_folder.Linux())), "Error while opening XML file");  // a folder
    EXPECT_EQ(UPDATEXMLParser::m_InstanceCount, 0);

    UPDATEXMLParser document(Write("<r/>"));
    const char* tags[] = {nullptr, ""};
    const char* messages[] = {"NULL pointer to tag name.", "Empty tag name."};
    for (int i = 0; i < 2; ++i) {
        try {
            document.Parse(tags[i], 0, 10);
            ADD_FAILURE() << "no exception";
        } catch (UPDATEXMLParserException* e) {
            EXPECT_STREQ(e->m_Message, messages[i]);
            delete e;
        }
    }
    document.FreeBuffer();
    try {
        document.Parse("r", 0, 10);
        ADD_FAILURE() << "no exception";
    } catch (UPDATEXMLParserException* e) {
        EXPECT_STREQ(e->m_Message, "XML file not loaded.");
        delete e;
    }
}

TEST_F(XmlParser, MissingLibraryOrFunctionFailsAndTheNextDocumentTriesAgain)
{
    CString file = Write("<r/>");
    zqtest::TempFolder empty;
    UPDATEXMLParser::SetDllFolder(WinPath(empty.Linux()));
    EXPECT_EQ(ConstructError(file), "Cannot load XML expat dll library.");

    // A libexpat.dll that is some other library: the first lookup fails.
    zqtest::TempFolder wrong;
    std::string other = zqtest::OtherSharedLibrary();
    ASSERT_FALSE(other.empty()) << "no libz.so.1 found";
    wrong.Link("libexpat.dll", other);
    UPDATEXMLParser::SetDllFolder(WinPath(wrong.Linux()));
    EXPECT_EQ(ConstructError(file), "Cannot find XML_ParserCreate function.");
    EXPECT_EQ(UPDATEXMLParser::m_hExpat, nullptr);
    EXPECT_EQ(UPDATEXMLParser::m_InstanceCount, 0);

    UPDATEXMLParser::SetDllFolder(ProgramFolder());
    EXPECT_EQ(ConstructError(file), "");
}

TEST_F(XmlParser, TooLongDllFolderIsRefused)
{
    std::string folder(259, 'a');
    UPDATEXMLParser::SetDllFolder(folder.c_str());
    EXPECT_EQ(std::string(UPDATEXMLParser::m_DllFolder), folder);
    std::string tooLong(260, 'b');
    UPDATEXMLParser::SetDllFolder(tooLong.c_str());
    EXPECT_EQ(UPDATEXMLParser::m_DllFolder[0], '\0');
    EXPECT_EQ(ConstructError(Write("<r/>")), "Cannot load XML expat dll library.");
}

}  // namespace

#include "documents/xml_document.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/error.h"
#include "core/path_text.h"
#include "support/error_text.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace velmora {
namespace {

using test::readText;
using test::TempDir;
using test::writeText;
using ::testing::HasSubstr;

// The message of the Error that loading `content` raises; fails the test when none is raised.
std::string parseError(const std::string& content) {
    XmlDocument doc;
    try {
        doc.loadFromString(content);
    } catch (const Error& e) {
        EXPECT_TRUE(doc.empty());
        return e.what();
    }
    ADD_FAILURE() << "loaded without error: " << content;
    return {};
}

// Records what a stream reading passes on, one line per node.
class StreamRecorder : public XmlStreamHandler {
public:
    void element(const XmlStreamElement& element) override {
        events += std::to_string(element.depth()) + " <" + std::string(element.name());
        for (const char* name : {"a", "b", "x:a"}) {
            if (const auto value = element.attribute(name)) {
                events += " " + std::string(name) + "=[" + std::string(*value) + "]";
            }
        }
        events += ">\n";
    }
    void otherNode(int depth, std::string_view name) override {
        events += std::to_string(depth) + " " + std::string(name) + "\n";
    }
    std::string events;
};

// The message of the Error that a stream reading of `content` from a file raises.
std::string streamError(const std::string& content) {
    TempDir dir;
    writeText(dir / "d.xml", content);
    StreamRecorder recorder;
    try {
        readXmlStream(dir / "d.xml", recorder);
    } catch (const Error& e) {
        return e.what();
    }
    ADD_FAILURE() << "streamed without error: " << content;
    return {};
}

// The root of `content` after loading it into `doc`.
XmlNode loadedRoot(XmlDocument& doc, const std::string& content) {
    doc.loadFromString(content);
    auto root = doc.firstNode();
    if (!root) throw Error("no first node");
    return *root;
}

TEST(XmlDocumentWriting, WritesTheRootMarkupAloneWithAttributesInOrderAndEscaped) {
    XmlDocument doc;
    auto root = doc.create("DNET_Net");
    auto row = root.appendChild("row");
    row.setAttribute("ID", "5");
    row.setAttribute("NB_IN", "4");
    row.setAttribute("Mnemonic", "A&B \"q\" <\xC3\xA9>");
    root.appendChild("row");
    auto text = root.appendChild("T");
    text.setText("x<y&z");
    EXPECT_EQ(doc.serialize(),
              "<DNET_Net><row ID=\"5\" NB_IN=\"4\" Mnemonic=\"A&amp;B &quot;q&quot; "
              "&lt;\xC3\xA9&gt;\"/><row/><T>x&lt;y&amp;z</T></DNET_Net>");
}

TEST(XmlDocumentLoading, PassesOverPrologAndDropsBlankText) {
    XmlDocument doc;
    doc.loadFromString(
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<!-- note -->\r\n<Par_Gen>\r\n  "
        "<A> 5</A>\r\n  <B/>\r\n</Par_Gen>\r\n");
    auto root = doc.firstNode();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name(), "Par_Gen");
    EXPECT_EQ(root->childCount(), 2u);
    EXPECT_EQ(root->child("A")->text(), " 5");
    EXPECT_EQ(root->child("B")->text(), "");
}

TEST(XmlDocumentLoading, ParseErrorNamesLineAndSource) {
    XmlDocument doc;
    try {
        doc.loadFromString("<a>\n<b>x & y</b></a>");
        FAIL();
    } catch (const Error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("\nLine: 2\n"), std::string::npos) << what;
    }
    EXPECT_TRUE(doc.empty());
}

TEST(XmlDocumentLoading, ParseErrorIsReasonLineAndFortyCharactersOfSource) {
    const std::string what =
        parseError("<a>\n<b>x & 0123456789012345678901234567890123456789 tail</b></a>");
    const auto lineAt = what.find("\nLine: 2\n");
    ASSERT_NE(lineAt, std::string::npos) << what;
    EXPECT_GT(lineAt, 0u) << "the parser's reason comes first";
    EXPECT_EQ(what.find('\n'), lineAt) << "the reason is one line";
    const std::string excerpt = what.substr(lineAt + 9);
    EXPECT_EQ(excerpt.size(), 40u) << excerpt;
    EXPECT_NE(
        std::string("x & 0123456789012345678901234567890123456789 tail</b></a>").find(excerpt),
        std::string::npos)
        << excerpt;
}

TEST(XmlDocumentLoading, ParseErrorExcerptCountsCharactersAndStaysValidUtf8) {
    // Three two-byte characters in front of the fault: the excerpt must not start mid-character.
    std::string what = parseError("<a>\n<b>\xC3\xA9\xC3\xA9\xC3\xA9 < 0123</b></a>");
    EXPECT_THAT(what, HasSubstr("\nLine: 2\n"));
    EXPECT_THAT(what.substr(what.rfind('\n') + 1), ::testing::StartsWith(" 0123"));

    what = parseError("<a>\n<b>\xFF\xFE</b></a>");
    EXPECT_THAT(what, HasSubstr("\nLine: 2\n"));
    EXPECT_EQ(what.find('\n'), what.find("\nLine: ")) << what;
    EXPECT_THAT(what.substr(what.rfind('\n') + 1),
                ::testing::StartsWith("\xEF\xBF\xBD\xEF\xBF\xBD</b>"));
}

struct MalformedCase {
    const char* label;
    const char* content;
};

class XmlDocumentMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(XmlDocumentMalformed, CannotBeParsedAndAStreamFailsWithTheSameMessage) {
    const std::string message = parseError(GetParam().content);
    EXPECT_THAT(message, HasSubstr("\nLine: "));
    EXPECT_EQ(streamError(GetParam().content), message);
}

INSTANTIATE_TEST_SUITE_P(
    NotWellFormed, XmlDocumentMalformed,
    ::testing::Values(MalformedCase{"TwoRoots", "<a/><b/>"},
                      MalformedCase{"TextAfterRoot", "<a/>x"},
                      MalformedCase{"BareAmpersand", "<a>x & y</a>"},
                      MalformedCase{"UndefinedEntity", "<a>&foo;</a>"},
                      MalformedCase{"UndefinedEntityWithExternalSubset",
                                    "<!DOCTYPE a SYSTEM \"a.dtd\"><a>&foo;</a>"},
                      MalformedCase{"RepeatedAttribute", "<a x=\"1\" x=\"2\"/>"},
                      MalformedCase{"InvalidUtf8", "<a>\xC3\x28</a>"},
                      MalformedCase{"UnclosedElement", "<a><b></a>"},
                      MalformedCase{"UnescapedLessThanInAttribute", "<a x=\"<\"/>"},
                      MalformedCase{"UndeclaredPrefix", "<a><p:b/></a>"},
                      MalformedCase{"Empty", ""}, MalformedCase{"BlankOnly", " \r\n "},
                      MalformedCase{"PrologOnly", "<?xml version=\"1.0\"?><!-- note -->"},
                      MalformedCase{"EntityExpansionBomb",
                                    "<!DOCTYPE a [<!ENTITY a \"aaaaaaaaaa\">"
                                    "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                                    "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                                    "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
                                    "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
                                    "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">"
                                    "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">"
                                    "<!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\">]>"
                                    "<a>&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;</a>"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(XmlStreamReading, PassesOnWhatTheTreeWouldHoldInDocumentOrder) {
    TempDir dir;
    writeText(dir / "d.xml",
              "\xEF\xBB\xBF<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e \"<i a='&#38;#38;'/>\">"
              "<!ENTITY s \" \"><!ATTLIST i b CDATA \"dflt\">]><!-- before --><?before?>\n"
              "<r a=\"1&lt;2\" b=\"\">\n  <p:i xmlns:p=\"urn:p\" xmlns:x=\"urn:x\" x:a=\"n\" "
              "a=\"&#x9;\"><deep/></p:i>&s;\n<!-- c --><?go on?><![CDATA[ ]]>te&s;xt&e;"
              "</r><!-- after -->");
    StreamRecorder recorder;
    readXmlStream(dir / "d.xml", recorder);
    EXPECT_EQ(recorder.events,
              "1 <r a=[1<2] b=[]>\n"
              "2 <p:i a=[\t]>\n"
              "3 <deep>\n"
              "2 #comment\n"
              "2 go\n"
              "2 #cdata-section\n"
              "2 #text\n"
              "2 <i a=[&]>\n");
}

TEST(XmlStreamReading, TheHandlerSeesTheNodesBeforeAFaultThatWinsOverThem) {
    TempDir dir;
    writeText(dir / "d.xml", "<r><a/><b/>\n<c></r>");
    StreamRecorder recorder;
    EXPECT_THROW(readXmlStream(dir / "d.xml", recorder), Error);
    EXPECT_EQ(recorder.events, "1 <r>\n2 <a>\n2 <b>\n2 <c>\n");
}

TEST(XmlStreamReading, FaultsBeyondTheParserLimitsGiveLoadsMessageToo) {
    // The parser places these faults elsewhere in a stream than in memory.
    const std::string longValue(10'000'001, 'x');
    for (const std::string& content :
         {"<r a=\"" + longValue + "\"/>", "<r><!--" + longValue + "--></r>",
          "<" + std::string(50'001, 'n') + "/>"}) {
        EXPECT_EQ(streamError(content), parseError(content));
    }
}

TEST(XmlStreamReading, AMissingFileFailsAsLoadingIt) {
    TempDir dir;
    StreamRecorder recorder;
    XmlDocument doc;
    std::string loadMessage;
    try {
        doc.load(dir / "gone.xml");
    } catch (const Error& e) {
        loadMessage = e.what();
    }
    try {
        readXmlStream(dir / "gone.xml", recorder);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.what(), loadMessage);
    }
}

TEST(XmlMarkupWriting, WritesWhatTheTreeSerializesForAnyValue) {
    std::mt19937 random(16);
    for (int round = 0; round < 300; ++round) {
        std::string value;
        const int length = static_cast<int>(random() % 12);
        for (int i = 0; i < length; ++i) {
            // Printable ASCII, markup characters, blanks and the bytes of multi-byte sequences.
            static const std::string kBytes = "aZ9 <>&\"'\t\r\n;#\xC3\xA9\xE2\x82\xAC\xFF\x7F";
            value += kBytes[random() % kBytes.size()];
        }
        XmlDocument doc;
        XmlNode root = doc.create("root");
        XmlMarkupWriter out;
        out.open("root");
        for (int child = 0; child < static_cast<int>(random() % 3); ++child) {
            XmlNode row = root.appendChild("row");
            out.open("row");
            row.setAttribute("v", value);
            out.attribute("v", value);
            row.setAttribute("empty", "");
            out.attribute("empty", "");
            out.close();
        }
        out.close();
        EXPECT_EQ(out.take(), doc.serialize()) << value;
    }
}

TEST(XmlMarkupWriting, RefusesWhatSetAttributeRefuses) {
    XmlMarkupWriter out;
    out.open("r");
    try {
        out.attribute("v", "a\x01");
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(),
                     "The value of attribute \"v\" holds a character that XML does not allow");
    }
}

TEST(XmlDocumentLoading, AFailedLoadEmptiesTheObjectAndTheNextLoadWorks) {
    XmlDocument doc;
    doc.loadFromString("<old/>");
    EXPECT_THROW(doc.loadFromString("<a>"), Error);
    EXPECT_TRUE(doc.empty());
    EXPECT_FALSE(doc.firstNode());
    EXPECT_EQ(loadedRoot(doc, "<new/>").name(), "new");
}

TEST(XmlDocumentLoading, IndentedFileReadsLikeTheCompactOne) {
    XmlDocument indented;
    XmlDocument compact;
    loadedRoot(indented,
               "<Par_Gen>\n\t<A>1</A>\n\t<B>\n\t\t<C x=\" y \"> 2</C>\n\t</B>\n   <D>  "
               "</D>\n</Par_Gen>\n");
    loadedRoot(compact, "<Par_Gen><A>1</A><B><C x=\" y \"> 2</C></B><D/></Par_Gen>");
    EXPECT_EQ(indented.serialize(), compact.serialize());
    EXPECT_EQ(indented.firstNode()->child("D")->text(), "");
}

TEST(XmlDocumentLoading, EveryPrologBeforeTheRootIsPassedOver) {
    for (const std::string prolog :
         {"", "\xEF\xBB\xBF", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", "<!-- note -->",
          "<?app hint?>\r\n", "<!DOCTYPE Par_Gen>",
          "\xEF\xBB\xBF<?xml version=\"1.0\"?><!--a--><?b?>"}) {
        SCOPED_TRACE(prolog);
        XmlDocument doc;
        const XmlNode root = loadedRoot(doc, prolog + "<Par_Gen><A>1</A></Par_Gen>\r\n");
        EXPECT_EQ(root.name(), "Par_Gen");
        EXPECT_EQ(doc.documentElement()->name(), "Par_Gen");
        EXPECT_EQ(root.child("A")->text(), "1");
    }
}

TEST(XmlDocumentLoading, DeclaredEncodingIsConvertedToUtf8) {
    XmlDocument doc;
    const XmlNode root =
        loadedRoot(doc, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>");
    EXPECT_EQ(root.text(), "\xC3\xA9");
}

TEST(XmlDocumentLoading, CommentsAndInstructionsInsideTheRootAreNodesThatAreNotElements) {
    XmlDocument doc;
    const XmlNode root = loadedRoot(doc, "<r><!-- c --><row a=\"1\"/><?pi x?><row a=\"2\"/></r>");
    const auto children = root.children();
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(root.childCount(), 4u);
    EXPECT_FALSE(children[0].isElement());
    EXPECT_EQ(children[0].name(), "#comment");
    EXPECT_TRUE(children[1].isElement());
    EXPECT_FALSE(children[2].isElement());
    EXPECT_EQ(children[3].attribute("a"), "2");
    EXPECT_THROW(children[0].attribute("a"), Error);
}

TEST(XmlDocumentLoading, ExternalEntitiesAndDtdsAreNeverRead) {
    TempDir dir;
    writeText(dir / "secret.txt", "SECRET");
    writeText(dir / "defs.dtd", "<!ENTITY e \"FROMDTD\">");
    XmlDocument doc;
    // "file:///C:/..." on Windows, "file:///tmp/..." elsewhere.
    std::string folder = dir.path().generic_string();
    if (!folder.starts_with('/')) folder.insert(0, "/");
    const std::string dirUrl = "file://" + folder;
    const XmlNode root = loadedRoot(
        doc, "<!DOCTYPE a [<!ENTITY s SYSTEM \"" + dirUrl + "/secret.txt\">]><a><b>&s;</b></a>");
    EXPECT_EQ(root.child("b")->text(), "");
    EXPECT_EQ(
        parseError("<!DOCTYPE a SYSTEM \"" + dirUrl + "/defs.dtd\"><a>&e;</a>").find("FROMDTD"),
        std::string::npos);
}

TEST(XmlDocumentLoading, InternalEntitiesAreExpanded) {
    XmlDocument doc;
    const XmlNode root =
        loadedRoot(doc, "<!DOCTYPE a [<!ENTITY v \"42\">]><a><b>&v;</b><c>&#36;3F</c></a>");
    EXPECT_EQ(root.child("b")->text(), "42");
    EXPECT_EQ(root.child("c")->text(), "$3F");
}

TEST(XmlDocumentLoading, LoadsAFileAndReportsAMissingOne) {
    TempDir dir;
    writeText(dir / "doc.xml", "<a><b>x</b></a>\n");
    XmlDocument doc;
    doc.load(dir / "doc.xml");
    EXPECT_EQ(doc.firstNode()->child("b")->text(), "x");
    try {
        doc.load(dir / "missing.xml");
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr((dir / "missing.xml").string()));
    }
    EXPECT_TRUE(doc.empty());
}

TEST(XmlDocumentLoading, RefusesADocumentOver64MiBBeforeParsingAndNamesIt) {
    TempDir dir;
    const auto file = dir / "DefReg.xml";
    { std::ofstream create(file); }
    fs::resize_file(file, kMaxDocumentBytes + 1);  // sparse: nothing is written
    XmlDocument doc;
    try {
        doc.load(file);
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The document is larger than 64 MiB and is not read: " + pathText(file));
    }
    // The streaming reader of the large row documents refuses it the same way.
    struct Ignore : XmlStreamHandler {
        void element(const XmlStreamElement&) override {}
        void otherNode(int, std::string_view) override {}
    } ignore;
    try {
        readXmlStream(file, ignore);
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The document is larger than 64 MiB and is not read: " + pathText(file));
    }
    fs::resize_file(file, kMaxDocumentBytes);  // the largest that is read (and fails to parse)
    try {
        doc.load(file);
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), ::testing::Not(HasSubstr("64 MiB")));
    }
}

TEST(QuotedValue, CutsAfterFortyCharactersAndKeepsUtf8Valid) {
    struct Case {
        std::string value;
        std::string quoted;
    };
    std::string wide;
    for (int i = 0; i < 50; ++i) wide += "\xC3\xA9";  // two bytes, one character
    const Case cases[] = {
        {"", "\"\""},
        {"abc", "\"abc\""},
        {std::string(40, 'a'), "\"" + std::string(40, 'a') + "\""},
        {std::string(100000, 'a'), "\"" + std::string(40, 'a') + "\""},
        {wide, "\"" + wide.substr(0, 80) + "\""},
        {"a\xFF"
         "b",
         "\"a\xEF\xBF\xBD"
         "b\""},
    };
    for (const auto& c : cases) EXPECT_EQ(quotedValue(c.value), c.quoted) << c.value.size();
}

TEST(XmlDocumentFiles, OnlyAPlainFileExists) {
    TempDir dir;
    writeText(dir / "doc.xml", "<a/>");
    fs::create_directory(dir / "folder.xml");
    EXPECT_TRUE(XmlDocument::fileExists(dir / "doc.xml"));
    EXPECT_FALSE(XmlDocument::fileExists(dir / "folder.xml"));
    EXPECT_FALSE(XmlDocument::fileExists(dir / "missing.xml"));
    EXPECT_FALSE(XmlDocument::fileExists(""));
}

struct TextCase {
    const char* label;
    const char* element;
    const char* text;  // nullptr: "Element does not contain a single text node"
};

class XmlElementText : public ::testing::TestWithParam<TextCase> {};

TEST_P(XmlElementText, IsTheSingleTextOrAnError) {
    XmlDocument doc;
    const XmlNode root = loadedRoot(doc, std::string("<r>") + GetParam().element + "</r>");
    const XmlNode element = root.children().at(0);
    if (GetParam().text != nullptr) {
        EXPECT_EQ(element.text(), GetParam().text);
        return;
    }
    try {
        element.text();
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Element does not contain a single text node");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlElementText,
    ::testing::Values(TextCase{"EmptyTag", "<v/>", ""}, TextCase{"StartAndEnd", "<v></v>", ""},
                      TextCase{"BlankOnlyIsDropped", "<v> \t </v>", ""},
                      TextCase{"BlankThenDigit", "<v> 5</v>", " 5"},
                      TextCase{"DigitThenBlank", "<v>5 </v>", "5 "},
                      TextCase{"EscapedCharacters", "<v>a&amp;b&lt;&#65;</v>", "a&b<A"},
                      TextCase{"Cdata", "<v><![CDATA[ <x> ]]></v>", " <x> "},
                      TextCase{"TwoTextPieces", "<v>1<!--c-->2</v>", nullptr},
                      TextCase{"TextAndCdata", "<v>1<![CDATA[2]]></v>", nullptr},
                      TextCase{"ChildElement", "<v><w>1</w></v>", nullptr},
                      TextCase{"CommentOnly", "<v><!--c--></v>", nullptr}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(XmlNodeLookup, ChildByNameIsCaseSensitiveAndTakesTheFirst) {
    XmlDocument doc;
    const XmlNode root = loadedRoot(doc,
                                    "<r><dnet_baud>1</dnet_baud><!--DNET_BAUD--><DNET_BAUD>2</"
                                    "DNET_BAUD><DNET_BAUD>3</DNET_BAUD></r>");
    EXPECT_EQ(root.child("DNET_BAUD")->text(), "2");
    EXPECT_EQ(root.child("dnet_baud")->text(), "1");
    EXPECT_FALSE(root.child("Dnet_Baud"));
    EXPECT_FALSE(root.child("#comment"));
}

TEST(XmlNodeLookup, EmptyAttributeDiffersFromAbsent) {
    XmlDocument doc;
    const XmlNode row =
        loadedRoot(doc, "<row a=\"\" b=\" 7\" c=\"x&amp;y\" p:d=\"1\" xmlns:p=\"u\"/>");
    EXPECT_EQ(row.attribute("a"), std::optional<std::string>(""));
    EXPECT_EQ(row.attribute("b"), " 7");
    EXPECT_EQ(row.attribute("c"), "x&y");
    EXPECT_EQ(row.attribute("A"), std::nullopt);
    EXPECT_EQ(row.attribute("missing"), std::nullopt);
    EXPECT_EQ(row.attribute("d"), std::nullopt) << "only attributes without namespace";
}

TEST(XmlDocumentWriting, CreateDiscardsTheLoadedTreeAndItsProlog) {
    XmlDocument doc;
    doc.loadFromString("<?xml version=\"1.0\"?><!--c--><Par_Gen><A>1</A></Par_Gen>");
    auto root = doc.create("Par_Gen");
    root.appendChild("B").setText("2");
    EXPECT_EQ(doc.serialize(), "<Par_Gen><B>2</B></Par_Gen>");
    EXPECT_EQ(doc.firstNode()->name(), "Par_Gen");
}

TEST(XmlDocumentWriting, SetTextReplacesContentAndEmptyTextGivesAnEmptyTag) {
    XmlDocument doc;
    auto root = doc.create("r");
    auto a = root.appendChild("a");
    a.setText("first");
    a.setText(" 5");
    root.appendChild("b").setText("");
    auto c = root.appendChild("c");
    c.setAttribute("x", "1");
    c.setAttribute("y", "\t\n");
    c.setAttribute("x", "3");
    EXPECT_EQ(doc.serialize(), "<r><a> 5</a><b/><c x=\"3\" y=\"&#9;&#10;\"/></r>");
    EXPECT_EQ(root.child("a")->text(), " 5");
}

TEST(XmlDocumentWriting, SerializedTextReadsBackUnchanged) {
    const std::string value = " <&>\"'\r\xC3\xA9]]>";
    XmlDocument doc;
    auto root = doc.create("r");
    root.appendChild("v").setText(value);
    root.appendChild("row").setAttribute("a", value);
    XmlDocument back;
    const XmlNode readRoot = loadedRoot(back, doc.serialize());
    EXPECT_EQ(readRoot.child("v")->text(), value);
    EXPECT_EQ(readRoot.child("row")->attribute("a"), value);
}

TEST(XmlDocumentSaving, WritesTheSerializedMarkupAndNothingElse) {
    TempDir dir;
    XmlDocument doc;
    doc.create("Par_Gen").appendChild("A").setText("\xC3\xA9");
    doc.save(dir / "pargen.xml");
    EXPECT_EQ(readText(dir / "pargen.xml"), "<Par_Gen><A>\xC3\xA9</A></Par_Gen>");
}

// The message of the Error that saving a small document to `file` raises.
std::string saveError(const fs::path& file) {
    XmlDocument doc;
    doc.create("new");
    try {
        doc.save(file);
    } catch (const Error& e) {
        return e.what();
    }
    ADD_FAILURE() << "saved without error: " << file;
    return {};
}

TEST(XmlDocumentSaving, AFailedSaveReportsTheReasonAndLeavesTheOldFileWhole) {
    TempDir dir;
    const auto file = dir / "pargen.xml";
    writeText(file, "<old>whole</old>");
    fs::permissions(file, fs::perms::owner_read);
    EXPECT_EQ(saveError(file), test::refusedText() + ": " + file.string());
    EXPECT_EQ(readText(file), "<old>whole</old>");
}

TEST(XmlDocumentSaving, SavingIntoARemovedFolderReportsThePlatformReason) {
    TempDir dir;
    const auto file = dir / "project" / "pargen.xml";
    EXPECT_EQ(saveError(file), test::missingFolderText() + ": " + file.string());
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// A control character would be written raw and make the saved document unreadable.
TEST(XmlDocumentWriting, RefusesCharactersXmlCannotHold) {
    XmlDocument doc;
    auto root = doc.create("R");
    for (const char* bad : {"a\x01", "\x1F", "x\xEF\xBF\xBE", "\xEF\xBF\xBF"}) {
        EXPECT_THROW(root.appendChild("row").setAttribute("Mnemonic", bad), Error) << bad;
        EXPECT_THROW(root.appendChild("T").setText(bad), Error) << bad;
    }
    EXPECT_NO_THROW(root.appendChild("row").setAttribute("Mnemonic", "tab\there\r\n\xEF\xBF\xBD"));
    XmlDocument reread;
    EXPECT_NO_THROW(reread.loadFromString(doc.serialize()));
}

}  // namespace
}  // namespace velmora

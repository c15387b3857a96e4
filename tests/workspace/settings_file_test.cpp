#include "workspace/settings_file.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "core/error.h"

namespace velmora {
namespace {

TEST(ReadIniValue, FollowsTheInitialisationFileRules) {
    struct Case {
        const char* text;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {"[lastproj]\nprojectname=\\Plant1\n", "\\Plant1"},
        {"[LastProj]\r\nProjectName=Plant1\r\n", "Plant1"},  // names without regard to case
        {"  [ lastproj ]  \n  projectname  =   Plant 1   \n", "Plant 1"},  // trimmed
        {"[lastproj]\nprojectname=\"  quoted \"\n", "  quoted "},  // one pair of quotes removed
        {"[lastproj]\nprojectname='x'\n", "x"},
        {"[lastproj]\nprojectname=\"\"x\"\"\n", "\"x\""},
        {"[lastproj]\nprojectname=\"x'\n", "\"x'"},  // not a pair
        {"[lastproj]\nprojectname=\n", ""},
        {"[lastproj]\nprojectname=a=b", "a=b"},  // no final line break
        {"[lastproj]\nprojectname=first\nprojectname=second\n", "first"},
        {"[lastproj]\nprojectname=one\n[lastproj]\nprojectname=two\n", "one"},
        {"[other]\nprojectname=x\n[lastproj]\nprojectname=y\n", "y"},
        {"\xEF\xBB\xBF[lastproj]\nprojectname=bom\n", "bom"},
        {"[lastproj]\rprojectname=cr\r[next]\rprojectname=x\r", "cr"},  // bare CR line ends
        {"[other]\rprojectname=x\r\n[lastproj]\r\rprojectname=mixed", "mixed"},
        {"projectname=outside\n[lastproj]\n", std::nullopt},  // before any section
        {"[lastproj]\nproject=x\n", std::nullopt},
        {"[other]\nprojectname=x\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readIniValue(c.text, "lastproj", "projectname"), c.value) << c.text;
    }
}

TEST(ReadIniValue, ReadsAtMost2047CharactersWithoutCuttingOneInTwo) {
    const std::string ascii(3000, 'a');
    EXPECT_EQ(readIniValue("[s]\nk=" + ascii, "s", "k"), std::string(2047, 'a'));

    std::string wide;
    for (int i = 0; i < 2100; ++i) wide += "\xC3\xA9";  // two bytes, one character
    const auto value = readIniValue("[s]\nk=" + wide + "\n", "s", "k");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->size(), 2 * 2047u);
}

TEST(WriteIniValue, ChangesOnlyTheValueAndKeepsEverythingElse) {
    struct Case {
        const char* before;
        const char* value;
        const char* after;
    };
    const Case cases[] = {
        {"", "\\Plant1", "[lastproj]\nprojectname=\\Plant1\n"},
        {"; comment\n[other]\nkey = kept \n", "P",
         "; comment\n[other]\nkey = kept \n[lastproj]\nprojectname=P\n"},
        {"[other]\r\nkey=1", "P", "[other]\r\nkey=1\r\n[lastproj]\r\nprojectname=P\r\n"},
        {"[LASTPROJ]\nProjectName = old\nother=2\n", "new",
         "[LASTPROJ]\nProjectName=new\nother=2\n"},
        {"[lastproj]\nother=2\n\n[next]\nx=1\n", "P",
         "[lastproj]\nother=2\nprojectname=P\n\n[next]\nx=1\n"},
        {"[lastproj]", "P", "[lastproj]\nprojectname=P\n"},
        {"[lastproj]\nprojectname=old", "", "[lastproj]\nprojectname="},
        {"[lastproj]\nprojectname=a\nprojectname=b\n", "c",
         "[lastproj]\nprojectname=c\nprojectname=b\n"},
        {"", " blank ", "[lastproj]\nprojectname=\" blank \"\n"},
        {"", "'q'", "[lastproj]\nprojectname=\"'q'\"\n"},
        {"[lastproj]\r", "P", "[lastproj]\rprojectname=P\r"},  // bare CR line ends
        {"[lastproj]\rprojectname=old\r[next]\r", "new", "[lastproj]\rprojectname=new\r[next]\r"},
        {"[other]\rkey=1", "P", "[other]\rkey=1\r[lastproj]\rprojectname=P\r"},
        {"[other]\r\n[lastproj]\nx=1\r", "P", "[other]\r\n[lastproj]\nx=1\rprojectname=P\r\n"},
    };
    for (const auto& c : cases) {
        const std::string written =
            writeIniValue(c.before, "lastproj", "projectname", c.value, "\n");
        EXPECT_EQ(written, c.after) << c.before;
        EXPECT_EQ(readIniValue(written, "lastproj", "projectname"), c.value) << c.before;
    }
}

// A text with no line end yet (a new file, one unfinished line) takes the given kind, which is
// the platform's own when none is given; a text that has one keeps its own.
TEST(WriteIniValue, LinesWithoutAnEndToFollowTakeTheGivenKind) {
    for (const std::string nl : {"\r\n", "\n"}) {
        SCOPED_TRACE(nl == "\n" ? "LF" : "CR LF");
        EXPECT_EQ(writeIniValue("", "lastproj", "projectname", "\\Plant1", nl),
                  "[lastproj]" + nl + "projectname=\\Plant1" + nl);
        EXPECT_EQ(writeIniValue("[other]", "lastproj", "projectname", "P", nl),
                  "[other]" + nl + "[lastproj]" + nl + "projectname=P" + nl);
        EXPECT_EQ(writeIniValue("[other]\rkey=1\r", "lastproj", "projectname", "P", nl),
                  "[other]\rkey=1\r[lastproj]\rprojectname=P\r");
    }
#ifdef _WIN32
    EXPECT_EQ(writeIniValue("", "lastproj", "projectname", "P"), "[lastproj]\r\nprojectname=P\r\n");
#else
    EXPECT_EQ(writeIniValue("", "lastproj", "projectname", "P"), "[lastproj]\nprojectname=P\n");
#endif
}

TEST(WriteIniValue, CopiesAStreamLineByLineAndReadsItBack) {
    // A large file of blank lines, as a hand-edited file may become: read and rewritten as a
    // stream, it reads back the value written.
    std::string big(3'000'000, '\n');
    big += "[lastproj]\r";
    std::istringstream in(big);
    std::ostringstream out;
    writeIniValue(in, out, "lastproj", "projectname", "P");
    EXPECT_EQ(out.str(), big + "projectname=P\n");
    std::istringstream back(out.str());
    EXPECT_EQ(readIniValue(back, "lastproj", "projectname"), "P");

    std::istringstream unreadable(big);
    unreadable.setstate(std::ios::badbit);
    std::ostringstream nothing;
    EXPECT_THROW(writeIniValue(unreadable, nothing, "lastproj", "projectname", "P"), Error);
}

TEST(WriteIniValue, RefusesALineBreakThatWouldAddLines) {
    EXPECT_THROW(writeIniValue("", "lastproj", "projectname", "a\n[x]"), Error);
    EXPECT_THROW(writeIniValue("", "lastproj", "projectname", "a\rb"), Error);
}

TEST(WriteIniValue, RefusesToMixUtf8LinesIntoAUtf16File) {
    using namespace std::string_literals;
    const std::string littleEndian = "\xFF\xFE[\0a\0]\0\r\0\n\0"s;
    const std::string bigEndian = "\xFE\xFF\0[\0a\0]\0\r\0\n"s;
    for (const auto& text : {littleEndian, bigEndian}) {
        EXPECT_THROW(writeIniValue(text, "lastproj", "projectname", "P"), Error);
    }
}

}  // namespace
}  // namespace velmora

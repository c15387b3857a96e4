#include "core/path_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace velmora {
namespace {

TEST(PathText, WritesEverySeparatorOfTheSyntaxAsItsPreferredOne) {
    struct Case {
        PathSyntax syntax;
        const char* text;
        const char* shown;
    };
    const Case cases[] = {
        {PathSyntax::windows, "Plant1/bin\\bank.bin", "Plant1\\bin\\bank.bin"},
        {PathSyntax::windows, "C:\\Velmora\\PROJECTS\\Plant1", "C:\\Velmora\\PROJECTS\\Plant1"},
        {PathSyntax::windows, "//server/share/Plant1/", "\\\\server\\share\\Plant1\\"},
        {PathSyntax::posix, "Plant1/bin/bank.bin", "Plant1/bin/bank.bin"},
        // Outside Windows a "\" is part of a name, never a separator.
        {PathSyntax::posix, "Plant1/odd\\name/bank.bin", "Plant1/odd\\name/bank.bin"},
        {PathSyntax::windows, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(withPreferredSeparators(c.text, c.syntax), c.shown) << c.text;
    }
}

// A folder typed with "/" and extended by the program reads with one separator, the platform's.
TEST(PathText, APathBuiltOnATypedFolderShowsOneSeparator) {
    const std::string sep(1, static_cast<char>(std::filesystem::path::preferred_separator));
    EXPECT_EQ(pathText(pathFromText("Plant1/") / "bin" / "bank.bin"),
              "Plant1" + sep + "bin" + sep + "bank.bin");
}

}  // namespace
}  // namespace velmora

#include "workspace/project_name.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(IsValidProjectName, AcceptsNamesThatAreOneFolderEverywhere) {
    for (const char* name : {"Plant1", "Plant 2", "a.b", "-x", "CONSOLE", "COM10", "LPT0",
                             "caf\xC3\xA9", ".hidden", "x~"}) {
        EXPECT_TRUE(isValidProjectName(name)) << name;
    }
}

TEST(IsValidProjectName, RefusesNamesThatAreNotOneFolderOrWouldNotSurvive) {
    for (const char* name :
         {"",        ".",      "..",   "a/b",  "a\\b",   "/",       "a<b",  "a>b",
          "a:b",     "a\"b",   "a|b",  "a?b",  "a*b",    "a\tb",    "a\nb", "a\x7F",
          " lead",   "trail ", "dot.", "CON",  "con",    "Prn",     "AUX",  "NUL",
          "NUL.txt", "com1",   "COM9", "LPT1", "lpt9.x", "CON .txt"}) {
        EXPECT_FALSE(isValidProjectName(name)) << name;
    }
}

}  // namespace
}  // namespace velmora

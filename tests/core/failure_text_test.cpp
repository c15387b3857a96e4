#include "core/failure_text.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(FailureReportText, AppendsFullStopOnlyAfterCharactersBeyondTheDot) {
    struct Case {
        const char* message;
        const char* shown;
    };
    const Case cases[] = {
        {"Project not valid", "Project not valid."},
        {"Error 42", "Error 42."},  // digits come after "."
        {"Done.", "Done."},         // "." itself gets none
        {"Really!", "Really!"},     // "!" comes before "."
        {"value -", "value -"},     // "-" comes before "."
        {"path /", "path /."},      // "/" comes after "."
        {"", ""},
        {"caf\xC3\xA9", "caf\xC3\xA9."},  // a non-ASCII last character
    };
    for (const auto& c : cases) EXPECT_EQ(failureReportText(c.message), c.shown) << c.message;
}

}  // namespace
}  // namespace velmora

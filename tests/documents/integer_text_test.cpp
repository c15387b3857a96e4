#include "documents/integer_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velmora {
namespace {

struct IntegerTextCase {
    std::string text;
    std::optional<std::int32_t> value;
};

void PrintTo(const IntegerTextCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class IntegerTextTable : public ::testing::TestWithParam<IntegerTextCase> {};

TEST_P(IntegerTextTable, ParsesOrRejects) {
    EXPECT_EQ(parseIntegerText(GetParam().text), GetParam().value);
    EXPECT_EQ(integerTextOr(GetParam().text), GetParam().value.value_or(-1));
}

constexpr std::optional<std::int32_t> kInvalid = std::nullopt;

INSTANTIATE_TEST_SUITE_P(Decimal, IntegerTextTable,
                         ::testing::Values(IntegerTextCase{"0", 0}, IntegerTextCase{"63", 63},
                                           IntegerTextCase{"007", 7}, IntegerTextCase{" 5", 5},
                                           IntegerTextCase{"   -12", -12}, IntegerTextCase{"+8", 8},
                                           IntegerTextCase{"-0", 0},
                                           IntegerTextCase{"2147483647", 2147483647},
                                           IntegerTextCase{"-2147483648", INT32_MIN},
                                           IntegerTextCase{"2147483648", kInvalid},
                                           IntegerTextCase{"-2147483649", kInvalid},
                                           IntegerTextCase{"99999999999999999999", kInvalid}));

INSTANTIATE_TEST_SUITE_P(
    Hexadecimal, IntegerTextTable,
    ::testing::Values(IntegerTextCase{"$3F", 63}, IntegerTextCase{"$3f", 63},
                      IntegerTextCase{"x10", 16}, IntegerTextCase{"X10", 16},
                      IntegerTextCase{"0x1A", 26}, IntegerTextCase{"0X1a", 26},
                      IntegerTextCase{" -$10", -16}, IntegerTextCase{"+0x7", 7},
                      IntegerTextCase{"$7FFFFFFF", 2147483647},
                      IntegerTextCase{"$80000000", INT32_MIN}, IntegerTextCase{"$FFFFFFFF", -1},
                      IntegerTextCase{"-$FFFFFFFF", 1}, IntegerTextCase{"$000000000FF", 255},
                      IntegerTextCase{"$100000000", kInvalid}, IntegerTextCase{"0x1G", kInvalid}));

INSTANTIATE_TEST_SUITE_P(
    NotIntegerTexts, IntegerTextTable,
    ::testing::Values(IntegerTextCase{"", kInvalid}, IntegerTextCase{"   ", kInvalid},
                      IntegerTextCase{"-", kInvalid}, IntegerTextCase{"+", kInvalid},
                      IntegerTextCase{"$", kInvalid}, IntegerTextCase{"x", kInvalid},
                      IntegerTextCase{"0x", kInvalid}, IntegerTextCase{"-$", kInvalid},
                      IntegerTextCase{"5 ", kInvalid}, IntegerTextCase{"\t5", kInvalid},
                      IntegerTextCase{"- 5", kInvalid}, IntegerTextCase{"--5", kInvalid},
                      IntegerTextCase{"+-5", kInvalid}, IntegerTextCase{"$-5", kInvalid},
                      IntegerTextCase{"1.0", kInvalid}, IntegerTextCase{"1e3", kInvalid},
                      IntegerTextCase{"0b101", kInvalid}, IntegerTextCase{"00x5", kInvalid},
                      IntegerTextCase{"abc", kInvalid}, IntegerTextCase{"\xEF\xBC\x95", kInvalid}));

TEST(IntegerTextOr, UsesTheGivenFallback) {
    EXPECT_EQ(integerTextOr("zz", 42), 42);
    EXPECT_EQ(integerTextOr("$FFFFFFFF", 42), -1);
}

}  // namespace
}  // namespace velmora

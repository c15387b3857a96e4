#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velmora {

// The one rule by which a text is taken as an integer: leading spaces, one optional sign,
// then decimal digits or hexadecimal digits behind "$", "x", "X", "0x" or "0X", nothing after.
// Decimal must fit a signed 32-bit integer; hexadecimal may use all 32 bits and is taken as
// signed ("$FFFFFFFF" is -1). Empty for a text that is not an integer text.
std::optional<std::int32_t> parseIntegerText(std::string_view text);

// The value of an integer text, or -1 when the text is not one (the checks' default).
std::int32_t integerTextOr(std::string_view text, std::int32_t fallback = -1);

}  // namespace velmora

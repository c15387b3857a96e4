#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::cli {

// `text` as a JSON string, quotes included; control characters escaped.
std::string jsonString(std::string_view text);

// `count` and `word`, the word taking an "s" unless the count is 1: "1 node", "2 bytes".
std::string plural(std::size_t count, std::string_view word);

}  // namespace velmora::cli

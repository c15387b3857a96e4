#pragma once

#include <string>
#include <string_view>

namespace velmora::cli {

// `text` as a JSON string, quotes included; control characters escaped.
std::string jsonString(std::string_view text);

}  // namespace velmora::cli

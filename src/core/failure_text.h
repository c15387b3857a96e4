#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The text of the report of unexpected failures: the failure's text with a full stop
// appended when its last character comes after "." in the character set.
std::string failureReportText(std::string_view message);

}  // namespace velmora

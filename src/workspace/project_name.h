#pragma once

#include <string_view>

namespace velmora {

// True when `name`, typed for a new project, can be one folder name on every platform and
// survives the settings file unchanged: not empty, not "." or "..", no separator, control
// character or any of <>:"|?*, no blank at either end, no dot at the end, and not a reserved
// device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, alone or before an extension).
bool isValidProjectName(std::string_view name);

}  // namespace velmora

#include "workspace/project_name.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace velmora {

namespace {

bool isReservedDeviceName(std::string_view name) {
    // Windows reserves these names whatever follows the first dot ("NUL.txt" too).
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    std::string upper(stem);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    if (std::find(kPlain.begin(), kPlain.end(), upper) != kPlain.end()) return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

bool isValidProjectName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) return false;
        if (std::string_view("/\\<>:\"|?*").find(ch) != std::string_view::npos) return false;
    }
    if (name.front() == ' ' || name.back() == ' ' || name.back() == '.') return false;
    return !isReservedDeviceName(name);
}

}  // namespace velmora

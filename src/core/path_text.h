#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velmora {

// UTF-8 text of a path, with the platform's separators.
std::string pathText(const std::filesystem::path& path);
// The path named by UTF-8 `text`.
std::filesystem::path pathFromText(std::string_view text);

}  // namespace velmora

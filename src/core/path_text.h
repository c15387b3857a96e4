#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velmora {

// How a platform writes a path: which characters divide it and which one it prefers.
enum class PathSyntax {
    posix,    // "/" alone divides; a "\" belongs to a name
    windows,  // "/" and "\" both divide; "\" is preferred
};

// The syntax of the platform this program runs on.
inline constexpr PathSyntax kNativePathSyntax =
#ifdef _WIN32
    PathSyntax::windows;
#else
    PathSyntax::posix;
#endif

// UTF-8 text of a path, with the platform's separators.
std::string pathText(const std::filesystem::path& path);
// `text` with every separator of `syntax` written as its preferred one: under the Windows syntax
// "Plant1/bin\bank.bin" becomes "Plant1\bin\bank.bin"; under POSIX it stays as it is.
std::string withPreferredSeparators(std::string text, PathSyntax syntax);
// The path named by UTF-8 `text`.
std::filesystem::path pathFromText(std::string_view text);

}  // namespace velmora

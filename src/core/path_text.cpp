#include "core/path_text.h"

#include <algorithm>

namespace velmora {

std::string pathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    // A path typed with "/" and extended with the platform's "\" would otherwise show both.
    return withPreferredSeparators(std::string(text.begin(), text.end()), kNativePathSyntax);
}

std::string withPreferredSeparators(std::string text, PathSyntax syntax) {
    if (syntax == PathSyntax::windows) std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

std::filesystem::path pathFromText(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace velmora

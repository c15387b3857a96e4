#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velmora::test {

// A fresh folder for one test, removed with everything in it when the test ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

private:
    std::filesystem::path path_;
};

// Folder names outside the ANSI code page of Windows, in UTF-8: "Prüfstand" and "试验".
inline constexpr std::string_view kNamesBeyondTheCodePage[] = {"Pr\u00fcfstand", "\u8bd5\u9a8c"};

// Writes `content` to `file` as raw bytes, creating missing folders.
void writeText(const std::filesystem::path& file, std::string_view content);
// The raw bytes of `file`; throws when it cannot be read.
std::string readText(const std::filesystem::path& file);

// Makes `link` a link to the folder `target`; false where the platform's standard library makes
// no links (Windows builds), so a test can skip what needs one. Throws on other failures.
bool makeDirectoryLink(const std::filesystem::path& target, const std::filesystem::path& link);

}  // namespace velmora::test

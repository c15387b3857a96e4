#include "support/temp_dir.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace velmora::test {

TempDir::TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("velmora-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = std::filesystem::canonical(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Restore write permission that a test took away, so everything can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void writeText(const std::filesystem::path& file, std::string_view content) {
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + file.string());
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool makeDirectoryLink(const std::filesystem::path& target, const std::filesystem::path& link) {
#ifdef _WIN32
    std::error_code ec;
    std::filesystem::create_directory_symlink(target, link, ec);
    return !ec;
#else
    std::filesystem::create_directory_symlink(target, link);
    return true;
#endif
}

}  // namespace velmora::test

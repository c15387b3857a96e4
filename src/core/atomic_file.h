#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velmora {

// Replaces the file at `target` with `bytes`: writes a temporary file beside it, flushes it to
// disk and renames it over the target, so a failed write leaves the previous file whole.
// An existing target without write permission fails as an in-place write would.
// Throws velmora::Error carrying the platform's reason and the path.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// The C library's text for the errno value `code`; failures on Windows read the same.
std::string systemErrorText(int code);

}  // namespace velmora

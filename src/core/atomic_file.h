#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <string_view>

namespace velmora {

// Replaces the file at `target` with `bytes`: writes a temporary file beside it, flushes it to
// disk and renames it over the target, so a failed write leaves the previous file whole.
// A link is written through: its final target is replaced and the link stays; a dangling link
// and a target that is not a regular file (a device, a pipe, a socket, a folder) are refused.
// A target this user may not write is refused as an in-place write would refuse it; a file
// without any write permission is refused even for root. A replaced file keeps its mode and,
// where the process may keep them, its owner and group; a new file gets 0666 less the umask.
// Throws velmora::SystemError carrying the platform's code, its reason and the path, or
// velmora::Error for a target that is no regular file.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// The same, with the new content written by `produce` to the stream it is given, so that a
// large content need not be held in memory. An exception from `produce` or a failed write
// leaves the previous file whole and nothing else behind.
void writeFileAtomically(const std::filesystem::path& target,
                         const std::function<void(std::ostream&)>& produce);

}  // namespace velmora

#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "image/config_image.h"

namespace velmora {

// What one composition put into the image.
struct CompositionSummary {
    std::size_t nodes = 0;         // node records
    std::size_t readRecords = 0;   // kept rows of the read map
    std::size_t writeRecords = 0;  // kept rows of the write map
    std::uint32_t bytes = 0;       // image length
};

// Rewrites `image` from offset 0 out of DNET_Net.xml, DefReg.xml and pargen.xml of `projectDir`;
// a missing document leaves its section empty. Throws velmora::DocumentError naming the document,
// the list, the row and the element or attribute that failed (for a document that cannot be read
// or parsed, the reader's text alone, the document in document()); the image is then left
// incomplete. An empty `projectDir` is refused with "Project not valid" before anything is read.
CompositionSummary ComposeConfigImage(ConfigImage& image, const std::filesystem::path& projectDir);

// Writes the composed image to `projectDir`/bin/bank.bin through the atomic write helper; the bin
// folder is not created. Throws velmora::Error when the image is incomplete, `projectDir` is
// empty or the file cannot be written; the previous file then stays as it was.
void SaveConfigImage(const ConfigImage& image, const std::filesystem::path& projectDir);

// The same, to any file.
void saveConfigImageTo(const ConfigImage& image, const std::filesystem::path& file);

// `projectDir`/bin/bank.bin.
std::filesystem::path configImagePath(const std::filesystem::path& projectDir);

}  // namespace velmora

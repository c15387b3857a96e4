#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "core/error.h"
#include "documents/register_map.h"
#include "image/config_image.h"

// The tree-based reading of DNET_Net.xml and DefReg.xml as it was before the stream readers,
// kept as the reference that the stream readers must match on every input.
namespace velmora::tree_reading {

// Shows one plain message, as the dialog would.
using MessageCallback = std::function<void(const std::string&)>;

// LoadRegisterMap reading both documents through XmlDocument.
RegisterMap loadRegisterMap(const std::filesystem::path& dnetNetFile,
                            const std::filesystem::path& defRegFile, const MessageCallback& show);

// The text a failure shows and, for a failure in a document, where it located it.
std::string failureText(const Error& error);

// ComposeConfigImage of a project without pargen.xml, reading through XmlDocument; the
// failureText of the error when it failed, "" when it did not.
std::string composeConfigImage(ConfigImage& image, const std::filesystem::path& projectDir);

}  // namespace velmora::tree_reading

#pragma once

#include <ostream>

#include "image/image_decoder.h"

namespace velmora::cli {

// A decoded image for a person: its length and fingerprint, header offsets, node table, both maps
// and the parameter block with the meaning of each coded value.
void writeImageText(const DecodedImage& image, std::ostream& out);

// The same as one JSON object, "problems" included.
void writeImageJson(const DecodedImage& image, std::ostream& out);

}  // namespace velmora::cli

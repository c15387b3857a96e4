#pragma once

#include <ostream>

#include "image/image_decoder.h"

namespace velmora::cli {

// A decoded image for a person: its length and fingerprint, header offsets, node table, both maps
// and the parameter block with the meaning of each coded value; node positions count from 1.
void writeImageText(const DecodedImage& image, std::ostream& out);

// The same as one JSON object, "problems" included; "position" and "nodePosition" count from 0,
// as the image stores them.
void writeImageJson(const DecodedImage& image, std::ostream& out);

}  // namespace velmora::cli

#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "image/image_format.h"

namespace velmora {

// The configuration image: a zero-filled buffer of fixed capacity, made once for the run, and the
// number of its leading bytes that form the current image. Bytes past the length are never saved.
struct ConfigImage {
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(image_format::kCapacity);
    std::uint32_t length = 0;
    // True only after a composition ran to its end; a failed one leaves nothing to save.
    bool complete = false;

    // The current image: the first `length` bytes.
    std::span<const std::uint8_t> bytes() const { return {buffer.data(), length}; }
};

}  // namespace velmora
